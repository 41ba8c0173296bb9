/* The show's sound library: loads XM modules, plays several at once and mixes
 * them to the default audio device. The show reaches sound only through this
 * header, so tests can link a recording double in its place.
 *
 * Every call may be made from any thread while sound plays. Calls given a null
 * handle, or one that is no longer loaded, do nothing and return 0 (-1 for
 * FMUSIC_GetMasterVolume). The output device is SDL's choice; SDL_AUDIODRIVER
 * picks another (dummy: silent, disk: raw samples into SDL_DISKAUDIOFILE).
 *
 * The device is fed in buffers of about 32 ms, whatever the driver, by an
 * audio thread that runs at the highest priority the system grants it, and
 * that never waits for the calls below. A PulseAudio server (or PipeWire's
 * pulse layer) is asked to hold 100 ms in all, so that the music rides out a
 * busy machine and is still heard close to the picture: the library sets
 * PULSE_LATENCY_MSEC to 100 when it is not set already. */
#ifndef DEMO_SOUND_H
#define DEMO_SOUND_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FMUSIC_MODULE FMUSIC_MODULE;

/* Library version; the show needs at least 3.75. */
float FSOUND_GetVersion(void);
/* Opens the default audio device at `mixrate` Hz (or the rate the device
 * offers), signed 16-bit stereo; non-zero when sound output is ready, also when
 * it already was. 0 when no device can be used; what the audio back ends print
 * while failing is kept off standard error. `maxchannels` and `flags` are not
 * used: every module gets the voices it needs. */
int FSOUND_Init(int mixrate, int maxchannels, unsigned int flags);
/* Closes the audio device. Loaded modules stay loaded, silent until the next
 * FSOUND_Init. */
void FSOUND_Close(void);

/* Loads a module from a file; null when it cannot be loaded (missing,
 * unreadable, empty or not a module). It starts stopped, at volume 256. Only a
 * regular file is read (a FIFO or device is refused without waiting on it),
 * none over 64 MB, none packed (gzip and the like: never unpacked into a
 * temporary file), and no XM module shorter than its headers say. */
FMUSIC_MODULE *FMUSIC_LoadSong(const char *name);
/* Why the calling thread's last FSOUND_Init or FMUSIC_LoadSong failed, in
 * words for a message: after a load, words that follow the file's name ("is a
 * FIFO, not a module file"); after an init, a sentence of its own ("cannot
 * start the audio thread: Resource temporarily unavailable" where the system
 * refuses threads, else "no audio device can be opened: ..."). */
const char *sound_last_error(void);
/* Starts a module, or resumes it where it was stopped. While a device plays,
 * the mixer takes it up at the frame that falls one device buffer and 8 ms
 * after the call (40 ms with 32 ms buffers), the same delay for every call, and
 * brings it up to full over 2 ms, so it does not click. Non-zero on success. */
int FMUSIC_PlaySong(FMUSIC_MODULE *mod);
/* Stops a module: as long after the call as a start, it fades out over 2 ms,
 * then it rests where the fade ended. */
int FMUSIC_StopSong(FMUSIC_MODULE *mod);
/* Every start, stop and resume is a ramp this long, not a step. */
#define SOUND_RAMP_MS 2
/* How long after its call a start, stop or resume is applied while a device
 * plays, in milliseconds: the device's buffer and 8 ms more, so that every
 * call reaches the mixer before the frame it belongs to is mixed, and the same
 * for every call, wherever it falls between two callbacks. With no device
 * open, or one at the show's rate, what it is for a 32 ms buffer: 40. */
int sound_call_delay_ms(void);
/* The master volume as last set (256 after loading). */
int FMUSIC_GetMasterVolume(FMUSIC_MODULE *mod);
/* 0 to 256 scales the module's output (more plays as 256); a negative volume
 * is silence. A playing module glides to the new volume over 256 frames. */
int FMUSIC_SetMasterVolume(FMUSIC_MODULE *mod, int volume);
/* Stops and releases a module; the handle is no longer valid. */
int FMUSIC_FreeSong(FMUSIC_MODULE *mod);

#ifdef __cplusplus
}
#endif

#endif
