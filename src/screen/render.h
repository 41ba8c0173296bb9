// The render thread: prints `screen`, or the composite of the layers, every 30 ms.
#pragma once

#include <cstddef>

#include "screen/screen.h"
#include "stream_format.h"

// What the render thread prints. Usually `screen` itself; the scenes that run
// several instances at once, each drawing on a layer of its own, have it print
// the composite of the first few layers instead, with `screen`'s border.
// The show starts with `screen`.
void print_screen();
// The composite of layers 1 to `count` (0 to LAYERS; 0 keeps the last composite).
void print_layers(int count);
// One layer more in the composite than before.
void print_one_more_layer();
// What is printed now: whether the composite is, and of how many layers.
bool printing_layers();
int printed_layers();

// The render thread's composite frame; only that thread (or a test standing in
// for it) touches it.
extern grid_t db;

// Merges the printed layers into `db`, transparent cells skipped, border from `screen`.
void compose_layers();
// Writes one frame's bytes into `out` (at least FRAME_MAX bytes), each cell taken
// from `db` or `screen` as is printed at that moment; returns the length.
std::size_t encode_frame(char *out);
// Hands `len` bytes to standard output, looping on partial writes and retrying
// on EINTR and EAGAIN; returns false when standard output fails for good.
bool write_all(const char *buf, std::size_t len);
// The thread body: reserves 24 lines, opens the layers, then composes and prints
// until stop_render. When standard output fails it reports on standard error
// and ends the process with status 1.
void *update_screen(void *);
// How long to wait so that a picture drawn `ahead_us` after the wait is ready
// `margin_us` before the render thread starts its next frame, when its last
// frame was handed over at `printed_us` after `cost_us` of composing and
// printing (all times on one clock, `now_us` the present): 0 up to one frame
// (FRAME_PAUSE_US + cost_us). Whatever is drawn at that moment then reaches
// standard output one print after it is drawn, not anywhere up to a pause
// and a print later.
long wait_for_frame(long now_us, long printed_us, long cost_us, long ahead_us, long margin_us);
// The same with the render thread's own figures and now on wall_us's clock;
// -1 when there is no rhythm to wait for: the render thread has printed
// nothing, or nothing for 100 ms, or prints more slowly than it pauses.
long wait_for_frame(long ahead_us, long margin_us);
// Starts the render thread, detached. Returns 0, or the error number when the
// thread could not be created.
int start_render();
// Asks the render thread that start_render started to stop and waits until it
// has finished the frame it is printing, so that the output ends with a whole
// frame; returns at once when no render thread was started.
void stop_render();
