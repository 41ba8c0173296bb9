/* The mixer behind the audio callback, reachable on its own so that it can be
 * measured and checked without an audio device. */
#ifndef DEMO_SOUND_MIX_H
#define DEMO_SOUND_MIX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Renders `frames` frames of signed 16-bit interleaved stereo into `out`: every
 * loaded module that is playing, each scaled by its master volume, summed with
 * saturation. Modules that are not playing do not advance. Every start, stop,
 * load and release not yet applied is applied before the first frame. While a
 * device is open only the audio callback mixes; with no device open (modules
 * are then rendered at 32000 Hz, or the rate of the last device) this may be
 * called directly, from one thread at a time, the thread that makes the other
 * calls. */
void sound_mix(int16_t *out, int frames);

/* Renders as the audio callback does when it is called at `now_ns` (on the
 * clock of sound_now_ns) for the frames that follow the ones mixed before:
 * each start, stop, load and release is applied at the frame whose time is
 * its call's time plus the call delay, or at the first frame when that
 * frame has passed. A frame's time is counted, at the rate the frames are
 * mixed, from the earliest of the last 64 to 128 callbacks: a late callback
 * moves nothing, and a device that runs slow or stalled once is followed
 * within a few seconds. Same rules as sound_mix about who may call it. */
void sound_mix_at(int16_t *out, int frames, int64_t now_ns);

/* The clock that calls are stamped with: monotonic, in nanoseconds. */
int64_t sound_now_ns(void);

/* Frames the audio device is asked for per callback at `rate` Hz: the largest
 * power of two (at least 64) that lasts at most `longest_ms`. The library asks
 * for at most 32 ms, and a PulseAudio server for 100 ms in all. */
int sound_buffer_frames(int rate, int longest_ms);

/* With no device open, sets the rate that modules are rendered at from now on
 * (4000 to 49170 Hz; loaded modules start again from their beginning). 0 when
 * a device is open or the rate is out of range. */
int sound_set_mix_rate(int rate);

#ifdef __cplusplus
}
#endif

#endif
