// The show's sound library. Each loaded module has its own libxmp context and
// its own render buffer; the SDL audio callback renders every playing module,
// applies its master volume as a per-sample gain and sums them with saturation.
//
// Timing: the device is opened with buffers of at most 8 ms, and a start or
// stop applies from the next frame the mixer renders, so it is heard at most
// one buffer after the call. Every start, stop and resume is a short ramp
// (RAMP_MS) instead of a step, so that nothing clicks; a stopped module keeps
// rendering through its ramp down and then rests where the ramp ended, which
// is where it resumes.
//
// Locking: every entry point takes `api_lock`, so calls from several threads
// are serialised; whatever the audio callback reads (the module list and each
// module's context, playing flag and volume) is changed only while the device
// lock is held as well. The callback itself takes only the device lock, which
// SDL holds around it.

#include "sound.h"
#include "sound_mix.h"
#include "sound_rate.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>
#include <xmp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

struct FMUSIC_MODULE {
    xmp_context ctx;
    int rate;      // rate the player was started at
    int playing;   // asked to play: the mixer ramps it up, else down to rest
    int ramp;      // frames into the start ramp: 0 at rest, ramp_frames at full
    int volume;    // master volume as last set
    int gain;      // gain (0..256) the mixer applied last
    int16_t *buf;  // one chunk of this module's output
    FMUSIC_MODULE *next;
};

namespace {

// The mixer works in chunks of this many frames, whatever the device asks for;
// a volume change glides over one chunk.
constexpr int MIX_FRAMES = 256;
constexpr int DEFAULT_RATE = SOUND_SHOW_RATE;
constexpr int FULL_VOLUME = 256;
// Longest device buffer, the most a start or stop waits for the mixer.
constexpr int BUFFER_MS = 8;
// Length of the ramp at every start, stop and resume.
constexpr int RAMP_MS = 2;
// Ramp gains are in 1/RAMP_ONE.
constexpr int RAMP_ONE = 1 << 15;

std::mutex api_lock;
SDL_AudioDeviceID device = 0;
int render_rate = DEFAULT_RATE;
FMUSIC_MODULE *modules = nullptr;
int32_t mix_acc[MIX_FRAMES * 2];
int ramp_frames = DEFAULT_RATE * RAMP_MS / 1000;  // the ramp at render_rate

// Holds the device lock for as long as it lives, when a device is open.
struct device_guard {
    SDL_AudioDeviceID dev;
    explicit device_guard(SDL_AudioDeviceID d) : dev(d) {
        if (dev)
            SDL_LockAudioDevice(dev);
    }
    ~device_guard() {
        if (dev)
            SDL_UnlockAudioDevice(dev);
    }
    device_guard(const device_guard &) = delete;
    device_guard &operator=(const device_guard &) = delete;
};

int gain_for(int volume) {
    if (volume < 0)
        return 0;
    return volume > FULL_VOLUME ? FULL_VOLUME : volume;
}

bool is_loaded(const FMUSIC_MODULE *mod) {
    if (!mod)
        return false;
    for (FMUSIC_MODULE *m = modules; m; m = m->next)
        if (m == mod)
            return true;
    return false;
}

// Gain of frame i of the ramp: 3x^2 - 2x^3 of x = i / ramp_frames, a rise
// from 0 to just under RAMP_ONE without a corner at either end.
int32_t ramp_gain(int64_t i) {
    int64_t n = ramp_frames;
    return int32_t((3 * i * i * n - 2 * i * i * i) * RAMP_ONE / (n * n * n));
}

// Restarts a module's player at the current render rate (from its beginning).
// Called with the device lock held or no device open.
void match_rate(FMUSIC_MODULE *m) {
    if (m->rate == render_rate)
        return;
    m->ramp = 0;
    xmp_end_player(m->ctx);
    if (xmp_start_player(m->ctx, render_rate, 0) == 0)
        m->rate = render_rate;
    else
        m->rate = 0;  // the mixer leaves a module it cannot render silent
}

// Renders from now on at `rate`: the ramp takes its length at it and every
// module's player is restarted at it. Called with the device lock held or no
// device open.
void use_render_rate(int rate) {
    render_rate = rate;
    ramp_frames = rate * RAMP_MS / 1000;
    for (FMUSIC_MODULE *m = modules; m; m = m->next)
        match_rate(m);
}

// Adds a module's chunk at full ramp: a change of volume is spread over the
// chunk so that it does not click.
void add_module(const int16_t *src, int frames, int g0, int g1) {
    int32_t *acc = mix_acc;
    if (g0 == g1) {
        for (int i = 0; i < frames * 2; i++)
            acc[i] += (src[i] * g1) >> 8;
        return;
    }
    int32_t g = g0 << 16;
    int32_t step = ((g1 - g0) << 16) / frames;
    for (int i = 0; i < frames; i++, g += step) {
        int gi = g >> 16;
        acc[2 * i] += (src[2 * i] * gi) >> 8;
        acc[2 * i + 1] += (src[2 * i + 1] * gi) >> 8;
    }
}

// Adds a module's chunk while it ramps up (`up`) or down, moving its ramp one
// frame per frame; the volume glides as in add_module.
void add_ramped(FMUSIC_MODULE *m, int frames, int g0, int g1, bool up) {
    const int16_t *src = m->buf;
    int32_t *acc = mix_acc;
    int32_t g = g0 << 16;
    int32_t step = ((g1 - g0) << 16) / frames;
    for (int i = 0; i < frames; i++, g += step) {
        int32_t r = RAMP_ONE;
        if (up && m->ramp < ramp_frames)
            r = ramp_gain(m->ramp++);
        else if (!up)
            r = ramp_gain(--m->ramp);
        int64_t gi = int64_t(g >> 16) * r;
        acc[2 * i] += int32_t((src[2 * i] * gi) >> 23);
        acc[2 * i + 1] += int32_t((src[2 * i + 1] * gi) >> 23);
    }
}

void mix_chunk(int16_t *out, int frames) {
    std::memset(mix_acc, 0, sizeof(int32_t) * 2 * frames);
    for (FMUSIC_MODULE *m = modules; m; m = m->next) {
        if (!m->playing && m->ramp == 0)
            continue;
        // A stopped module renders only what is left of its ramp down, so that
        // it rests, and later resumes, right where the ramp ended.
        int n = !m->playing && m->ramp < frames ? m->ramp : frames;
        int target = gain_for(m->volume);
        // The module advances even when its volume is zero, like a tape running
        // with the fader down. A non-zero result (end or error) is silence.
        int rendered = m->rate ? xmp_play_buffer(m->ctx, m->buf, n * 4, 0) : -1;
        if (rendered != 0) {
            m->ramp = m->playing ? ramp_frames : 0;
        } else if (m->playing && m->ramp == ramp_frames) {
            if (m->gain || target)
                add_module(m->buf, n, m->gain, target);
        } else {
            add_ramped(m, n, m->gain, target, m->playing);
        }
        m->gain = target;
    }
    for (int i = 0; i < frames * 2; i++) {
        int32_t s = mix_acc[i];
        out[i] = (int16_t)(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
    }
}

void SDLCALL audio_callback(void *, Uint8 *stream, int len) {
    sound_mix(reinterpret_cast<int16_t *>(stream), len / 4);
}

// Opens the default device; audio back ends that fail print on standard error
// on their own (ALSA several lines), so the descriptor points at /dev/null
// meanwhile and the terminal stays clean.
SDL_AudioDeviceID open_device(int rate, SDL_AudioSpec *have) {
    std::fflush(stderr);
    int saved = dup(2);
    int null_fd = open("/dev/null", O_WRONLY);
    if (saved >= 0 && null_fd >= 0)
        dup2(null_fd, 2);

    SDL_AudioDeviceID dev = 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        SDL_AudioSpec want;
        SDL_zero(want);
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = static_cast<Uint16>(sound_buffer_frames(rate));
        want.callback = audio_callback;
        dev = SDL_OpenAudioDevice(nullptr, 0, &want, have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (dev && (have->freq < XMP_MIN_SRATE || have->freq > XMP_MAX_SRATE)) {
            // A rate the player cannot render: let SDL convert from ours.
            SDL_CloseAudioDevice(dev);
            dev = SDL_OpenAudioDevice(nullptr, 0, &want, have, 0);
        }
        if (!dev)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    if (saved >= 0 && null_fd >= 0)
        dup2(saved, 2);
    if (saved >= 0)
        close(saved);
    if (null_fd >= 0)
        close(null_fd);
    return dev;
}

}  // namespace

extern "C" {

void sound_mix(int16_t *out, int frames) {
    while (frames > 0) {
        int n = frames < MIX_FRAMES ? frames : MIX_FRAMES;
        mix_chunk(out, n);
        out += 2 * n;
        frames -= n;
    }
}

int sound_buffer_frames(int rate) {
    int frames = 64;
    while (frames * 2 * 1000 <= rate * BUFFER_MS)
        frames *= 2;
    return frames;
}

int sound_set_mix_rate(int rate) {
    std::lock_guard<std::mutex> api(api_lock);
    if (device || rate < XMP_MIN_SRATE || rate > XMP_MAX_SRATE)
        return 0;
    use_render_rate(rate);
    return 1;
}

float FSOUND_GetVersion(void) { return 3.75f; }

int FSOUND_Init(int mixrate, int, unsigned int) {
    std::lock_guard<std::mutex> api(api_lock);
    if (device)
        return 1;

    // Ctrl-C and the like keep their default effect on the show.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (mixrate < XMP_MIN_SRATE)
        mixrate = XMP_MIN_SRATE;
    if (mixrate > XMP_MAX_SRATE)
        mixrate = XMP_MAX_SRATE;

    SDL_AudioSpec have;
    SDL_zero(have);
    SDL_AudioDeviceID dev = open_device(mixrate, &have);
    if (!dev)
        return 0;

    // The device is still paused: the callback does not run yet.
    use_render_rate(have.freq);
    device = dev;
    SDL_PauseAudioDevice(device, 0);
    return 1;
}

void FSOUND_Close(void) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!device)
        return;
    SDL_CloseAudioDevice(device);
    device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

FMUSIC_MODULE *FMUSIC_LoadSong(const char *name) {
    if (!name)
        return nullptr;
    std::lock_guard<std::mutex> api(api_lock);

    // Loaded into a context of its own that the callback cannot see yet.
    xmp_context ctx = xmp_create_context();
    if (!ctx)
        return nullptr;
    if (xmp_load_module(ctx, name) != 0) {
        xmp_free_context(ctx);
        return nullptr;
    }
    FMUSIC_MODULE *mod = static_cast<FMUSIC_MODULE *>(std::calloc(1, sizeof(FMUSIC_MODULE)));
    int16_t *buf = static_cast<int16_t *>(std::calloc(MIX_FRAMES * 2, sizeof(int16_t)));
    if (!mod || !buf || xmp_start_player(ctx, render_rate, 0) != 0) {
        std::free(mod);
        std::free(buf);
        xmp_release_module(ctx);
        xmp_free_context(ctx);
        return nullptr;
    }
    mod->ctx = ctx;
    mod->rate = render_rate;
    mod->volume = FULL_VOLUME;
    mod->gain = FULL_VOLUME;
    mod->buf = buf;

    device_guard lock(device);
    mod->next = modules;
    modules = mod;
    return mod;
}

int FMUSIC_PlaySong(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return 0;
    device_guard lock(device);
    mod->playing = 1;
    return 1;
}

int FMUSIC_StopSong(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return 0;
    device_guard lock(device);
    mod->playing = 0;
    return 1;
}

int FMUSIC_GetMasterVolume(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return -1;
    return mod->volume;
}

int FMUSIC_SetMasterVolume(FMUSIC_MODULE *mod, int volume) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return 0;
    device_guard lock(device);
    mod->volume = volume;
    // A module that is not sounding takes the new volume at once; a sounding
    // one glides to it over its next chunk.
    if (!mod->playing && mod->ramp == 0)
        mod->gain = gain_for(volume);
    return 1;
}

int FMUSIC_FreeSong(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return 0;
    {
        device_guard lock(device);
        for (FMUSIC_MODULE **p = &modules; *p; p = &(*p)->next)
            if (*p == mod) {
                *p = mod->next;
                break;
            }
    }
    // Out of the list, the callback no longer touches it.
    xmp_end_player(mod->ctx);
    xmp_release_module(mod->ctx);
    xmp_free_context(mod->ctx);
    std::free(mod->buf);
    std::free(mod);
    return 1;
}

}  // extern "C"
