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
 * saturation. Modules that are not playing do not advance. While a device is
 * open only the audio callback may call this; with no device open (modules are
 * then rendered at 32000 Hz, or the rate of the last device) it may be called
 * directly, from one thread at a time. */
void sound_mix(int16_t *out, int frames);

/* Frames the audio device is asked for per callback at `rate` Hz: the largest
 * power of two (at least 64) that lasts at most 8 ms. A start or stop applies
 * from the next frame mixed, so it is heard at most one such buffer after the
 * call, and then ramps over 2 ms. */
int sound_buffer_frames(int rate);

/* With no device open, sets the rate that modules are rendered at from now on
 * (4000 to 49170 Hz; loaded modules start again from their beginning). 0 when
 * a device is open or the rate is out of range. */
int sound_set_mix_rate(int rate);

#ifdef __cplusplus
}
#endif

#endif
