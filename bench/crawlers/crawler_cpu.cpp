// Prints the CPU time the process spends while the render thread and the 119
// border crawlers run for 10 seconds, as a share of one core. Frames go to
// /dev/null, so what a terminal does with them is not counted.
//
//   crawler_cpu [seconds]
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "clocks.h"
#include "effects/effects.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "screen/thread.h"

int main(int argc, char **argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    int keep = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);

    fill(1, 7, 4, ' ');
    start_thread(update_screen, nullptr, "the render thread");
    for (int i = 0; i < BORDER_CRAWLERS; i++) {
        usleep(CRAWLER_LAUNCH_GAP_US);
        start_thread(draw_border, nullptr, "a border crawler");
    }

    double c0 = cpu_seconds(), w0 = wall_seconds();
    usleep(static_cast<useconds_t>(seconds * 1e6));
    double cpu = cpu_seconds() - c0, wall = wall_seconds() - w0;

    dprintf(keep, "render thread + %d crawlers: %.3f s CPU in %.2f s wall = %.1f%% of one core\n",
            BORDER_CRAWLERS, cpu, wall, 100.0 * cpu / wall);
    return 0;
}
