#include "child.h"

#include <cstdio>
#include <sys/wait.h>

child_result run_child(const std::string &command) {
    child_result r{-1, {}};
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    if (st != -1 && WIFEXITED(st))
        r.status = WEXITSTATUS(st);
    return r;
}
