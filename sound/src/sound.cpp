// The show's sound library. Each loaded module has its own libxmp context and
// its own render buffer; the SDL audio callback renders every playing module,
// applies its master volume as a per-sample gain and sums them with saturation.
//
// Timing: the device is opened with buffers of about 32 ms, long enough to
// ride out a busy machine. So that a start's or stop's precision does not
// depend on that length, every start, stop, load and release is stamped with
// the time of its call and applied at the frame whose time is that plus
// one call delay, a constant longer than a buffer. Every start,
// stop and resume is a short ramp (RAMP_MS) instead of a step, so that nothing
// clicks; a stopped module keeps rendering through its ramp down and then
// rests where the ramp ended, which is where it resumes.
//
// Sharing: the calls never hold anything the audio callback waits for. They
// are serialised by `api_lock`, which only they take, and hand their starts,
// stops, loads and releases to the mixer through a queue of stamped commands;
// the master volume is an atomic the mixer reads. The mixer's list of modules
// is the mixer's own: the callback's while a device is open, else the calling
// thread's. A released module is handed back through its `retired` flag and
// freed by the next call.

#include "sound.h"
#include "sound_mix.h"
#include "sound_rate.h"

#include <SDL.h>
#include <SDL_system.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xmp.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "module_check.h"

struct FMUSIC_MODULE {
    xmp_context ctx = nullptr;
    int rate = 0;                  // rate the player was started at
    int16_t *buf = nullptr;        // one chunk of this module's output
    std::atomic<int> volume{256};  // master volume as last set
    // The mixer's own.
    int playing = 0;  // asked to play: the mixer ramps it up, else down to rest
    int ramp = 0;     // frames into the start ramp: 0 at rest, ramp_frames at full
    int gain = 256;   // gain (0..256) the mixer applied last
    FMUSIC_MODULE *next = nullptr;
    // The calls' own: loaded modules, and released ones the mixer may hold.
    FMUSIC_MODULE *loaded_next = nullptr;
    std::atomic<bool> retired{false};  // the mixer has let go of it
};

namespace {

// The mixer works in chunks of at most this many frames, whatever the device
// asks for; a volume change glides over one chunk.
constexpr int MIX_FRAMES = 256;
constexpr int DEFAULT_RATE = SOUND_SHOW_RATE;
constexpr int FULL_VOLUME = 256;
// Longest device buffer, whatever the driver: the audio thread runs at real
// time where it may, so this much rides out the rest of a busy machine.
constexpr int BUFFER_MS = 32;
// What a call waits besides one device buffer.
constexpr int CALL_MARGIN_MS = 8;
// What a sound server is asked to hold in all, when the user has not said.
constexpr const char *SERVER_BUFFER_MS = "100";
// Length of the ramp at every start, stop and resume.
constexpr int RAMP_MS = SOUND_RAMP_MS;
// Ramp gains are in 1/RAMP_ONE.
constexpr int RAMP_ONE = 1 << 15;
constexpr int64_t NS = 1000000000;
// The mixer's clock takes the time of frame 0 from the earliest of the last
// CLOCK_WINDOW to 2 * CLOCK_WINDOW callbacks: a callback that comes late does
// not move it, and a device that runs slower than the system's clock, or that
// stalled once, is followed within a few seconds.
constexpr int CLOCK_WINDOW = 64;
// The largest module file the show could need (its own are well under 1 MB).
constexpr int MAX_MODULE_BYTES = 64 << 20;

std::mutex api_lock;
SDL_AudioDeviceID device = 0;
int render_rate = DEFAULT_RATE;
FMUSIC_MODULE *loaded = nullptr;    // the calls' list
FMUSIC_MODULE *released = nullptr;  // released, not yet freed (the calls' list)
FMUSIC_MODULE *modules = nullptr;   // the mixer's list
int32_t mix_acc[MIX_FRAMES * 2];
int ramp_frames = DEFAULT_RATE * RAMP_MS / 1000;  // the ramp at render_rate

// The mixer's clock: frames mixed so far, the time of frame 0 that the
// current and the last window of callbacks give, and the earlier of the two.
int64_t mixed = 0;
bool clock_set = false;
int clock_count = 0;
int64_t clock_min[2];
int64_t frame0_ns = 0;
// The call delay of the device open.
int call_delay_ms = BUFFER_MS + CALL_MARGIN_MS;

// What the calls hand to the mixer, in the order of their calls.
enum op { ADD, PLAY, STOP, REMOVE };
struct command {
    op what;
    FMUSIC_MODULE *mod;
    int64_t at_ns;  // the time of the call
};
constexpr unsigned QUEUE = 1024;
command queue[QUEUE];
std::atomic<unsigned> queue_head{0};  // next to apply; moved by the mixer
std::atomic<unsigned> queue_tail{0};  // next free; moved by the calls

int gain_for(int volume) {
    if (volume < 0)
        return 0;
    return volume > FULL_VOLUME ? FULL_VOLUME : volume;
}

bool is_loaded(const FMUSIC_MODULE *mod) {
    if (!mod)
        return false;
    for (FMUSIC_MODULE *m = loaded; m; m = m->loaded_next)
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
// Called by the mixer's owner.
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
// module's player is restarted at it. Called with no device open.
void use_render_rate(int rate) {
    render_rate = rate;
    ramp_frames = rate * RAMP_MS / 1000;
    for (FMUSIC_MODULE *m = modules; m; m = m->next)
        match_rate(m);
}

void apply(const command &c) {
    FMUSIC_MODULE *m = c.mod;
    switch (c.what) {
        case ADD:
            m->next = modules;
            modules = m;
            break;
        case PLAY:
            // From rest a module starts at its volume as it stands.
            if (!m->playing && m->ramp == 0)
                m->gain = gain_for(m->volume.load(std::memory_order_relaxed));
            m->playing = 1;
            break;
        case STOP:
            m->playing = 0;
            break;
        case REMOVE:
            for (FMUSIC_MODULE **p = &modules; *p; p = &(*p)->next)
                if (*p == m) {
                    *p = m->next;
                    break;
                }
            m->retired.store(true, std::memory_order_release);
            break;
    }
}

// The oldest command not yet applied, or null.
const command *next_command() {
    unsigned head = queue_head.load(std::memory_order_relaxed);
    if (head == queue_tail.load(std::memory_order_acquire))
        return nullptr;
    return &queue[head % QUEUE];
}

void pop_command() {
    queue_head.store(queue_head.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

// Applies every command handed over so far. Called by the mixer's owner.
void apply_all() {
    while (const command *c = next_command()) {
        apply(*c);
        pop_command();
    }
}

// Frees the released modules that the mixer has let go of. Called with
// api_lock held.
void free_retired() {
    for (FMUSIC_MODULE **p = &released; *p;) {
        FMUSIC_MODULE *m = *p;
        if (!m->retired.load(std::memory_order_acquire)) {
            p = &m->loaded_next;
            continue;
        }
        *p = m->loaded_next;
        xmp_end_player(m->ctx);
        xmp_release_module(m->ctx);
        xmp_free_context(m->ctx);
        std::free(m->buf);
        delete m;
    }
}

// Hands a command to the mixer, stamped with the time of the call. Called
// with api_lock held. With no device open the caller owns the mixer, which
// applies it at its next frame. With the queue full, which only a device that
// has stopped calling back allows, the mixer is held still while this thread
// applies everything itself.
void send(op what, FMUSIC_MODULE *mod) {
    unsigned tail = queue_tail.load(std::memory_order_relaxed);
    if (tail - queue_head.load(std::memory_order_acquire) == QUEUE) {
        SDL_LockAudioDevice(device);
        apply_all();
        SDL_UnlockAudioDevice(device);
    }
    queue[tail % QUEUE] = {what, mod, sound_now_ns()};
    queue_tail.store(tail + 1, std::memory_order_release);
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
        int target = gain_for(m->volume.load(std::memory_order_relaxed));
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

// Mixes `frames` frames, counting them on the mixer's clock.
void mix_frames(int16_t *out, int64_t frames) {
    while (frames > 0) {
        int n = frames < MIX_FRAMES ? int(frames) : MIX_FRAMES;
        mix_chunk(out, n);
        out += 2 * n;
        frames -= n;
        mixed += n;
    }
}

// The frame at which a call made at `at_ns` is applied.
int64_t frame_for(int64_t at_ns) {
    int64_t t = at_ns + call_delay_ms * (NS / 1000) - frame0_ns;
    return t <= 0 ? 0 : (t * render_rate + NS - 1) / NS;
}

// Set by the first callback once it has asked for real-time priority.
bool priority_asked = false;

// Moves the calling thread, the audio thread, to the lowest real-time
// priority, unless it has real time already (a sound server's own real-time
// thread, which PipeWire calls back from, keeps its priority). Where the
// system grants it directly (root, or a real-time limit) the thread takes it
// itself; else it asks through SDL, which asks RealtimeKit, the way an
// ordinary user's programs get real time on a desktop.
void take_real_time() {
    int policy = SCHED_OTHER;
    sched_param p{};
    if (pthread_getschedparam(pthread_self(), &policy, &p) != 0 || policy == SCHED_FIFO ||
        policy == SCHED_RR)
        return;
    p.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &p) == 0)
        return;
    // Refused there too, the thread keeps the nice level SDL gave it.
    SDL_LinuxSetThreadPriorityAndPolicy(static_cast<Sint64>(gettid()),
                                        SDL_THREAD_PRIORITY_TIME_CRITICAL, SCHED_RR);
}

void SDLCALL audio_callback(void *, Uint8 *stream, int len) {
    // SDL gives its audio thread the highest nice level the system allows it
    // (-20, or what RealtimeKit grants). With SDL's PulseAudio driver this
    // thread is the whole of the client: it mixes, writes to the server and
    // waits for the server's next request itself. At a nice level it waits
    // for the CPU behind every busy thread of the scheduling group the show
    // shares (its session's, with other work started there); at real time
    // no such thread keeps it from the server.
    if (!priority_asked) {
        take_real_time();
        priority_asked = true;
    }
    sound_mix_at(reinterpret_cast<int16_t *>(stream), len / 4, sound_now_ns());
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
        want.samples = static_cast<Uint16>(sound_buffer_frames(rate, BUFFER_MS));
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

// Why this thread's last FSOUND_Init or FMUSIC_LoadSong failed, for sound_last_error.
thread_local char last_error[256];

[[gnu::format(printf, 1, 2)]] void say_error(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(last_error, sizeof last_error, format, args);
    va_end(args);
}

const char *xmp_says(int err) {
    switch (-err) {
        case XMP_ERROR_FORMAT:
            return "not a module in a format the sound library knows";
        case XMP_ERROR_SYSTEM:
            return std::strerror(errno);
        default:
            return "damaged: the sound library cannot read it";
    }
}

// A module file's bytes, freed with it.
struct module_bytes {
    unsigned char *data = nullptr;
    std::size_t size = 0;
    ~module_bytes() { std::free(data); }
};

// Reads a module whole into memory, so that the sound library loads it from
// there: it is opened without waiting for a writer or taking a terminal,
// looked at, and read only when it is a regular file no larger than any
// module the show plays. Loaded from memory, a compressed module is never
// unpacked into a temporary file. False with the reason said.
bool read_module(const char *name, module_bytes &bytes) {
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        say_error("%s", std::strerror(errno));
        return false;
    }
    struct stat st;
    bool ok = false;
    if (fstat(fd, &st) != 0)
        say_error("%s", std::strerror(errno));
    else if (!S_ISREG(st.st_mode))
        say_error("is %s, not a module file", file_kind(st.st_mode));
    else if (st.st_size > MAX_MODULE_BYTES)
        say_error("is %lld bytes, larger than any module the show plays (%d MB at most)",
                  static_cast<long long>(st.st_size), MAX_MODULE_BYTES >> 20);
    else if (st.st_size == 0)
        say_error("is empty");
    else if (!(bytes.data = static_cast<unsigned char *>(std::malloc(st.st_size))))
        say_error("%s", std::strerror(ENOMEM));
    else
        ok = true;
    // Whatever the file holds by the end of its size is the module.
    while (ok && bytes.size < static_cast<std::size_t>(st.st_size)) {
        const ssize_t n = read(fd, bytes.data + bytes.size, st.st_size - bytes.size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            say_error("%s", std::strerror(errno));
            ok = false;
        }
        if (n <= 0)
            break;
        bytes.size += static_cast<std::size_t>(n);
    }
    close(fd);
    if (ok) {
        const std::string fault = module_fault(bytes.data, bytes.size);
        if (!fault.empty()) {
            say_error("%s", fault.c_str());
            ok = false;
        }
    }
    return ok;
}

void *no_work(void *) { return nullptr; }

// Why no device could be opened. SDL's audio thread, and a sound server
// client's own, are started as the device opens: where the system refuses
// threads, that is the reason, not a missing device.
void say_why_no_device() {
    const char *sdl = SDL_GetError();
    pthread_t probe;
    const int refused = pthread_create(&probe, nullptr, no_work, nullptr);
    if (refused == 0)
        pthread_join(probe, nullptr);
    if (refused || std::strstr(sdl, "thread"))
        say_error("cannot start the audio thread: %s", std::strerror(refused ? refused : EAGAIN));
    else
        say_error("no audio device can be opened: %s", *sdl ? sdl : "no reason given");
}

}  // namespace

extern "C" {

void sound_mix(int16_t *out, int frames) {
    apply_all();
    clock_set = false;
    mix_frames(out, frames);
}

void sound_mix_at(int16_t *out, int frames, int64_t now_ns) {
    // Each callback gives a time for frame 0: its own, less the frames mixed
    // before it. The earliest of the recent ones is the callback on time.
    int64_t start = now_ns - mixed * NS / render_rate;
    if (!clock_set) {
        clock_min[0] = clock_min[1] = start;
        clock_count = 0;
        clock_set = true;
    }
    if (++clock_count > CLOCK_WINDOW) {
        clock_min[1] = clock_min[0];
        clock_min[0] = start;
        clock_count = 1;
    } else if (start < clock_min[0]) {
        clock_min[0] = start;
    }
    frame0_ns = clock_min[0] < clock_min[1] ? clock_min[0] : clock_min[1];

    const int64_t end = mixed + frames;
    while (const command *c = next_command()) {
        int64_t at = frame_for(c->at_ns);
        if (at >= end)
            break;
        if (at > mixed) {
            int64_t n = at - mixed;
            mix_frames(out, n);
            out += 2 * n;
        }
        apply(*c);
        pop_command();
    }
    mix_frames(out, end - mixed);
}

int64_t sound_now_ns(void) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int sound_buffer_frames(int rate, int longest_ms) {
    int frames = 64;
    while (frames * 2 * 1000 <= rate * longest_ms)
        frames *= 2;
    return frames;
}

int sound_call_delay_ms(void) {
    std::lock_guard<std::mutex> api(api_lock);
    return call_delay_ms;
}

int sound_set_mix_rate(int rate) {
    std::lock_guard<std::mutex> api(api_lock);
    if (device || rate < XMP_MIN_SRATE || rate > XMP_MAX_SRATE)
        return 0;
    apply_all();
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
    // SDL's PulseAudio client asks the server for a total latency of one
    // device buffer and writes a buffer only when that much is free, so what
    // rides out a late wake-up is the sink's own share alone, a quarter of it.
    // Asked for 100 ms, the server holds about two buffers besides the one
    // being written: enough for the pauses of a busy desktop, where the
    // server's own main thread, which asks for more sound, waits its turn,
    // and little enough that what is heard stays close to what is seen.
    setenv("PULSE_LATENCY_MSEC", SERVER_BUFFER_MS, 0);
    if (mixrate < XMP_MIN_SRATE)
        mixrate = XMP_MIN_SRATE;
    if (mixrate > XMP_MAX_SRATE)
        mixrate = XMP_MAX_SRATE;

    SDL_AudioSpec have;
    SDL_zero(have);
    SDL_AudioDeviceID dev = open_device(mixrate, &have);
    if (!dev) {
        say_why_no_device();
        return 0;
    }

    // The device is still paused: the callback does not run yet, and this
    // thread sets the mixer up. Taking the device lock once hands all of it
    // over to the audio thread, which takes that lock around each callback.
    apply_all();
    use_render_rate(have.freq);
    call_delay_ms = (have.samples * 1000 + have.freq - 1) / have.freq + CALL_MARGIN_MS;
    mixed = 0;
    clock_set = false;
    priority_asked = false;
    SDL_LockAudioDevice(dev);
    SDL_UnlockAudioDevice(dev);
    device = dev;
    SDL_PauseAudioDevice(device, 0);
    return 1;
}

void FSOUND_Close(void) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!device)
        return;
    // Once the audio thread has ended, the mixer is this thread's again.
    SDL_CloseAudioDevice(device);
    device = 0;
    call_delay_ms = BUFFER_MS + CALL_MARGIN_MS;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    apply_all();
    free_retired();
}

FMUSIC_MODULE *FMUSIC_LoadSong(const char *name) {
    if (!name) {
        say_error("no file named");
        return nullptr;
    }
    last_error[0] = '\0';
    // Read and checked before the lock: a slow disk holds up no other call.
    module_bytes bytes;
    if (!read_module(name, bytes))
        return nullptr;
    std::lock_guard<std::mutex> api(api_lock);
    free_retired();

    // Loaded into a context of its own that the mixer does not see yet.
    xmp_context ctx = xmp_create_context();
    if (!ctx) {
        say_error("%s", std::strerror(ENOMEM));
        return nullptr;
    }
    if (int err = xmp_load_module_from_memory(ctx, bytes.data, static_cast<long>(bytes.size))) {
        say_error("%s", xmp_says(err));
        xmp_free_context(ctx);
        return nullptr;
    }
    FMUSIC_MODULE *mod = new (std::nothrow) FMUSIC_MODULE;
    int16_t *buf = static_cast<int16_t *>(std::calloc(MIX_FRAMES * 2, sizeof(int16_t)));
    if (!mod || !buf || xmp_start_player(ctx, render_rate, 0) != 0) {
        say_error("the player cannot be started on it");
        delete mod;
        std::free(buf);
        xmp_release_module(ctx);
        xmp_free_context(ctx);
        return nullptr;
    }
    mod->ctx = ctx;
    mod->rate = render_rate;
    mod->buf = buf;
    mod->loaded_next = loaded;
    loaded = mod;
    send(ADD, mod);
    return mod;
}

const char *sound_last_error(void) { return last_error; }

int FMUSIC_PlaySong(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    free_retired();
    if (!is_loaded(mod))
        return 0;
    send(PLAY, mod);
    return 1;
}

int FMUSIC_StopSong(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    free_retired();
    if (!is_loaded(mod))
        return 0;
    send(STOP, mod);
    return 1;
}

int FMUSIC_GetMasterVolume(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return -1;
    return mod->volume.load(std::memory_order_relaxed);
}

int FMUSIC_SetMasterVolume(FMUSIC_MODULE *mod, int volume) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return 0;
    // The mixer reads it at every chunk: a sounding module glides to it over
    // its next chunk, a resting one starts at it.
    mod->volume.store(volume, std::memory_order_relaxed);
    return 1;
}

int FMUSIC_FreeSong(FMUSIC_MODULE *mod) {
    std::lock_guard<std::mutex> api(api_lock);
    if (!is_loaded(mod))
        return 0;
    for (FMUSIC_MODULE **p = &loaded; *p; p = &(*p)->loaded_next)
        if (*p == mod) {
            *p = mod->loaded_next;
            break;
        }
    // The mixer lets go of it at the frame of this call; it is freed after.
    send(REMOVE, mod);
    mod->loaded_next = released;
    released = mod;
    if (!device)
        apply_all();
    free_retired();
    return 1;
}

}  // extern "C"
