// The scenes: each draws into the grids for a fixed number of frames and returns.
#pragma once

// Border crawler thread body: carries a bold 'R' in fresh random colours
// clockwise round the border of `screen`, one cell every 10 ms, putting back
// what each cell held. Never returns.
void *draw_border(void *);
