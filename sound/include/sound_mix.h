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

#ifdef __cplusplus
}
#endif

#endif
