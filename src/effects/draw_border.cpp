#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"

// How late the kernel may wake a crawler from its 10 ms pause. With 119
// crawlers stepping 100 times a second each, letting their wake-ups fall
// together into shared timer interrupts saves about a third of their CPU
// time, for at most half a millisecond on a step.
constexpr unsigned long CRAWLER_TIMER_SLACK_NS = 500000;

void *draw_border(void *) {
    prctl(PR_SET_TIMERSLACK, CRAWLER_TIMER_SLACK_NS);
    // The crawlers are the show's idle-class threads. Each step is a few
    // microseconds, but the 119 of them wake 12,000 times a second. As
    // ordinary threads (or batch threads, or at nice 19) beside busy programs
    // started in the show's session, those wake-ups kept other sessions'
    // threads, a sound server's main thread among them, from the CPU for up
    // to a second at a time, and the music fell silent; as idle-class threads
    // they do not. On a quiet machine an idle thread runs at once, and beside
    // busy programs in its own session it waits about 2 ms for its turn.
    sched_param idle{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
    prctl(PR_SET_NAME, "crawler");  // so that top -H and the benchmarks can tell them apart
    int x = 40, y = 0, xdir = 0;
    framebuffer_point saved = cell_get(screen[40][0]);
    int savedx = 40, savedy = 0;

    for (;;) {
        // Give the cell we leave back what it held when we entered it.
        draw(savedx, savedy, saved.attr, saved.fg, saved.bg, saved.data);

        // Up and down the side columns; every step taken from a side column
        // turns the direction along the top and bottom rows, which is what
        // sends the crawler round the corners (cutting (79,23) and (0,0)).
        if (x == 0 || x == WIDTH - 1) {
            xdir = (xdir + 1) % 2;
            if (x == WIDTH - 1)
                y++;
            else
                y--;
        }
        if (y == 0 || y == HEIGHT - 1)
            x += xdir == 0 ? 1 : -1;

        saved = cell_get(screen[x][y]);
        savedx = x;
        savedy = y;

        int bg = rand() % 7 + 1;
        int fg = rand() % 7 + 1;
        draw(x, y, 1, fg, bg, 'R');
        pause_us(CRAWLER_STEP_US);
    }
    return nullptr;
}
