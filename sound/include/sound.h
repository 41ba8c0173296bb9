/* The show's sound library: loads XM modules, plays several at once and mixes
 * them to the default audio device. The show reaches sound only through this
 * header, so tests can link a recording double in its place. */
#ifndef DEMO_SOUND_H
#define DEMO_SOUND_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FMUSIC_MODULE FMUSIC_MODULE;

/* Library version; the show needs at least 3.75. */
float FSOUND_GetVersion(void);
/* Opens the default audio device at `mixrate` Hz; non-zero when sound output is ready. */
int FSOUND_Init(int mixrate, int maxchannels, unsigned int flags);
void FSOUND_Close(void);

/* Loads a module from a file; null when it cannot be loaded. Volume starts at 256. */
FMUSIC_MODULE *FMUSIC_LoadSong(const char *name);
/* Starts a module, or resumes it where it was stopped. Non-zero on success. */
int FMUSIC_PlaySong(FMUSIC_MODULE *mod);
/* Stops a module; it falls silent within one audio buffer. */
int FMUSIC_StopSong(FMUSIC_MODULE *mod);
int FMUSIC_GetMasterVolume(FMUSIC_MODULE *mod);
/* 0 to 256 scales the module's output; a negative volume is silence. */
int FMUSIC_SetMasterVolume(FMUSIC_MODULE *mod, int volume);
/* Stops and releases a module. */
int FMUSIC_FreeSong(FMUSIC_MODULE *mod);

#ifdef __cplusplus
}
#endif

#endif
