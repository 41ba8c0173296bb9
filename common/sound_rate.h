/* The rate of the show's sound in frames a second: the show opens sound
 * output at it, the library mixes at it until a device asks for another, and
 * the recorder takes the music at it. */
#ifndef DEMO_SOUND_RATE_H
#define DEMO_SOUND_RATE_H

#define SOUND_SHOW_RATE 32000

#endif
