#include "sound_double.h"

#include <cstdio>
#include <cstdlib>

#include "sound.h"

struct FMUSIC_MODULE {
    std::string name;
    int volume;
};

sound_double_state sound_double;

namespace {

bool env_read = false;
FILE *log_file = nullptr;

void read_env() {
    if (env_read)
        return;
    env_read = true;
    if (const char *v = getenv("SOUND_DOUBLE_VERSION"))
        sound_double.version = static_cast<float>(atof(v));
    if (const char *f = getenv("SOUND_DOUBLE_FAIL")) {
        if (std::string(f) == "init")
            sound_double.fail_init = true;
        else
            sound_double.fail_load = f;
    }
    if (const char *l = getenv("SOUND_DOUBLE_LOG"))
        log_file = fopen(l, "a");
}

void record(const std::string &call) {
    sound_double.calls.push_back(call);
    if (log_file) {
        fprintf(log_file, "%s\n", call.c_str());
        fflush(log_file);
    }
    if (sound_double.observer)
        sound_double.observer(call);
}

std::string name_of(FMUSIC_MODULE *m) { return m ? m->name : "null"; }

}  // namespace

void sound_double_reset() {
    sound_double.version = 3.75f;
    sound_double.fail_init = false;
    sound_double.fail_load.clear();
    sound_double.start_volume = 256;
    sound_double.calls.clear();
    sound_double.observer = nullptr;
    env_read = true;  // a test process configures the double directly
}

extern "C" {

float FSOUND_GetVersion(void) {
    read_env();
    record("GetVersion");
    return sound_double.version;
}

int FSOUND_Init(int mixrate, int maxchannels, unsigned int flags) {
    read_env();
    record("Init " + std::to_string(mixrate) + " " + std::to_string(maxchannels) + " " +
           std::to_string(flags));
    return sound_double.fail_init ? 0 : 1;
}

void FSOUND_Close(void) { record("Close"); }

FMUSIC_MODULE *FMUSIC_LoadSong(const char *name) {
    read_env();
    record(std::string("LoadSong ") + name);
    if (sound_double.fail_load == name)
        return nullptr;
    return new FMUSIC_MODULE{name, sound_double.start_volume};
}

// The library's with its own 32 ms device buffer.
int sound_call_delay_ms(void) { return 40; }

const char *sound_last_error(void) { return "refused by the sound double"; }

int FMUSIC_PlaySong(FMUSIC_MODULE *m) {
    record("PlaySong " + name_of(m));
    return m != nullptr;
}

int FMUSIC_StopSong(FMUSIC_MODULE *m) {
    record("StopSong " + name_of(m));
    return m != nullptr;
}

int FMUSIC_GetMasterVolume(FMUSIC_MODULE *m) {
    record("GetMasterVolume " + name_of(m));
    return m ? m->volume : -1;
}

int FMUSIC_SetMasterVolume(FMUSIC_MODULE *m, int volume) {
    record("SetMasterVolume " + name_of(m) + " " + std::to_string(volume));
    if (m)
        m->volume = volume;
    return m != nullptr;
}

int FMUSIC_FreeSong(FMUSIC_MODULE *m) {
    record("FreeSong " + name_of(m));
    delete m;
    return 1;
}

}  // extern "C"
