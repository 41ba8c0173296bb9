// The floor for the border crawlers' CPU: 119 threads that do nothing but sleep
// 10 ms in a loop, as a crawler does between its steps. Prints the process's
// CPU time over the given seconds as a share of one core.
//
//   bare_sleepers [seconds [timer slack in ns]]
#include <cstdio>
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

#include "clocks.h"
#include "effects/effects.h"
#include "screen/thread.h"

namespace {

unsigned long slack_ns = 0;  // 0: the kernel's default

void *sleeper(void *) {
    if (slack_ns)
        prctl(PR_SET_TIMERSLACK, slack_ns);
    for (;;)
        usleep(CRAWLER_STEP_US);
    return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    slack_ns = argc > 2 ? strtoul(argv[2], nullptr, 10) : 0;
    for (int i = 0; i < BORDER_CRAWLERS; i++)
        start_thread(sleeper, nullptr, "a sleeper");
    double c0 = cpu_seconds(), w0 = wall_seconds();
    usleep(static_cast<useconds_t>(seconds * 1e6));
    double cpu = cpu_seconds() - c0, wall = wall_seconds() - w0;
    printf("%d sleeping threads: %.3f s CPU in %.2f s wall = %.2f%% of one core\n", BORDER_CRAWLERS,
           cpu, wall, 100.0 * cpu / wall);
    return 0;
}
