// What is made from the kept stream and sound once the show has ended: the
// asciicast, the video (the terminal model drawn frame by frame into ffmpeg,
// with the frame times of the run) and the stills.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

#include "cast.h"
#include "cast_file.h"
#include "clocks.h"
#include "mkv.h"
#include "record.h"
#include "stream.h"

namespace {

constexpr std::size_t READ_BYTES = 1 << 16;
// Sound goes to the encoder in blocks of this many sample frames.
constexpr long SOUND_BLOCK_FRAMES = 1024;

using timed_unit_handler = std::function<bool(unit_kind kind, const frame_codes &f,
                                              const char *bytes, std::size_t n, double t)>;

// Reads the kept stream again, unit by unit, each with its arrival time. A
// last unit cut off by the end of the show is left out, as it was never shown.
bool replay(const recording &r, const timed_unit_handler &on_unit) {
    fd_guard in(open(r.run.stream_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0)
        return fail("cannot read " + r.run.stream_path + ": " + errno_text(errno));
    auto reader = std::make_unique<stream_reader>();
    std::vector<char> buf(READ_BYTES);
    std::size_t unit = 0;
    auto timed = [&](unit_kind kind, const frame_codes &f, const char *bytes, std::size_t n) {
        if (stop_signal || unit >= r.run.unit_times.size())
            return false;
        return on_unit(kind, f, bytes, n, r.run.unit_times[unit++]);
    };
    for (;;) {
        ssize_t n = read(in.fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR && !stop_signal)
            continue;
        if (n < 0 || stop_signal)
            return stop_signal ? false : fail("cannot read " + r.run.stream_path);
        if (n == 0)
            return true;
        if (stream_feed(*reader, buf.data(), static_cast<std::size_t>(n), timed) !=
            feed_status::more)
            return false;
    }
}

// A frame's time in the video: milliseconds from the first frame, and every
// frame a time of its own even when several arrived in one read.
long frame_ms(const take &run, double t, long last_ms) {
    return std::max(last_ms + 1, std::lround((t - run.first_frame) * 1000));
}

struct sound_feed {
    fd_guard file;
    double t = 0;        // seconds from the first frame of the next block
    long long left = 0;  // bytes still to send
    long long kept = 0;  // bytes sent
};

// The kept sound from the first frame on: sample k was mixed at
// sound_start + k / rate, and the video starts at the first frame.
bool open_sound_feed(const recording &r, sound_feed &s) {
    if (r.run.sound_start < 0 || r.run.sound_bytes == 0)
        return true;
    s.file.reset(open(r.run.sound_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (s.file.fd < 0)
        return fail("cannot read " + r.run.sound_path + ": " + errno_text(errno));
    s.t = r.run.sound_start - r.run.first_frame;
    long long skip = 0;
    if (s.t < 0) {
        skip = static_cast<long long>(std::ceil(-s.t * AUDIO_RATE));
        s.t += static_cast<double>(skip) / AUDIO_RATE;
    }
    s.left = std::max(0LL, r.run.sound_bytes - skip * AUDIO_FRAME_BYTES);
    if (s.left > 0 && lseek(s.file.fd, skip * AUDIO_FRAME_BYTES, SEEK_SET) < 0)
        return fail("cannot read " + r.run.sound_path + ": " + errno_text(errno));
    return true;
}

// Sends the sound blocks that start up to `ms` (all of them for a negative ms).
bool send_sound(sound_feed &s, int encoder, long ms) {
    static char block[SOUND_BLOCK_FRAMES * AUDIO_FRAME_BYTES];
    while (s.left > 0 && (ms < 0 || std::lround(s.t * 1000) <= ms)) {
        std::size_t n = static_cast<std::size_t>(std::min<long long>(s.left, sizeof block));
        if (read(s.file.fd, block, n) != static_cast<ssize_t>(n))
            return fail("cannot read the kept sound");
        std::string head = mkv_block_head(AUDIO_TRACK, std::lround(s.t * 1000), n);
        if (!write_unless_stopped(encoder, head.data(), head.size()) ||
            !write_unless_stopped(encoder, block, n))
            return false;
        s.left -= static_cast<long long>(n);
        s.kept += static_cast<long long>(n);
        s.t += static_cast<double>(n / AUDIO_FRAME_BYTES) / AUDIO_RATE;
    }
    return true;
}

// What the encoder says is kept in memory, where it can be written even when
// the disk is full, and read back for a message (and the PSNR figures).
int memory_log() { return memfd_create("encoder.log", MFD_CLOEXEC); }

std::string read_log(int fd) {
    std::string text;
    char buf[65536];
    ssize_t n;
    for (off_t at = 0; fd >= 0 && (n = pread(fd, buf, sizeof buf, at)) > 0; at += n)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

// The last line ffmpeg wrote that is not a progress line, for a message.
std::string log_tail(const std::string &log) {
    std::istringstream in(log);
    std::string line, tail;
    while (std::getline(in, line))
        if (!line.empty() && line.find("frame=") == std::string::npos)
            tail = line;
    return tail.empty() ? "" : ": " + tail;
}

// ffmpeg turning the pictures and sound into H.264 and PCM in Matroska.
pid_t start_encoder(recording &r, int in, int log) {
    std::vector<std::string> argv = {"ffmpeg",
                                     "-nostdin",
                                     "-v",
                                     r.opt.psnr ? "debug" : "error",
                                     "-y",
                                     "-f",
                                     "matroska",
                                     "-i",
                                     "pipe:0",
                                     "-c:v",
                                     "libx264",
                                     "-preset",
                                     r.opt.preset,
                                     "-tune",
                                     r.opt.tune,
                                     "-crf",
                                     std::to_string(r.opt.crf),
                                     "-bf",
                                     "0",
                                     "-pix_fmt",
                                     "yuv420p",
                                     "-colorspace",
                                     "bt709",
                                     "-color_primaries",
                                     "bt709",
                                     "-color_trc",
                                     "bt709",
                                     "-color_range",
                                     "tv",
                                     "-fps_mode",
                                     "passthrough",
                                     "-enc_time_base:v",
                                     "1:1000",
                                     "-c:a",
                                     "copy"};
    if (r.opt.psnr)
        argv.insert(argv.end(), {"-flags", "+psnr", "-x264-params", "verbose=1"});
    argv.push_back(r.tmp.path + "/video.mkv");
    std::string error;
    pid_t pid = r.kids.spawn({argv, "", in, -1, log, {}}, error);
    if (pid < 0)
        fail(error);
    return pid;
}

// Draws every frame into the encoder with the sound in between; the stills
// are taken on the way.
struct video_state {
    terminal term;
    std::vector<std::uint8_t> picture;
};

bool draw_frames(recording &r, int encoder, sound_feed &sound) {
    auto v = std::make_unique<video_state>();
    v->picture.resize(static_cast<std::size_t>(WIDTH * 8 * SCALE) * TERM_HEIGHT * r.font.height *
                      SCALE * 3 / 2);
    const std::string header =
        mkv_header(WIDTH * 8 * SCALE, TERM_HEIGHT * r.font.height * SCALE, AUDIO_RATE, 2);
    if (!write_unless_stopped(encoder, header.data(), header.size()))
        return false;
    bool ok =
        replay(r, [&](unit_kind kind, const frame_codes &f, const char *, std::size_t, double t) {
            if (kind == unit_kind::frame) {
                // A still shows what was on the terminal at its moment.
                for (still &s : r.stills)
                    if (!s.taken && r.frames_encoded > 0 && s.at < t - r.run.first_frame) {
                        s.shot = v->term;
                        s.taken = true;
                    }
            }
            term_apply(v->term, kind, f);
            if (kind != unit_kind::frame)
                return true;
            const long ms = frame_ms(r.run, t, r.last_ms);
            r.last_ms = ms;
            if (!send_sound(sound, encoder, ms))
                return false;
            render_yuv2x(v->term, r.font, v->picture.data());
            std::string head = mkv_block_head(VIDEO_TRACK, ms, v->picture.size());
            r.frames_encoded++;
            return write_unless_stopped(encoder, head.data(), head.size()) &&
                   write_unless_stopped(encoder, v->picture.data(), v->picture.size());
        });
    for (still &s : r.stills)
        if (!s.taken && s.at <= r.run.end - r.run.first_frame) {
            s.shot = v->term;
            s.taken = true;
        }
    return ok && send_sound(sound, encoder, -1);
}

// The lowest and the mean PSNR of the frames, from the encoder's log.
std::string psnr_summary(const std::string &log) {
    std::istringstream in(log);
    double lowest = 1e9, sum = 0;
    long n = 0;
    for (std::string line; std::getline(in, line);) {
        double y, u, v;
        std::size_t at = line.find("PSNR Y:");
        if (line.find("frame=") == std::string::npos || at == std::string::npos ||
            std::sscanf(line.c_str() + at, "PSNR Y:%lf U:%lf V:%lf", &y, &u, &v) != 3)
            continue;
        // Y has four times the samples of U and of V.
        double mse =
            (4 * std::pow(10, -y / 10) + std::pow(10, -u / 10) + std::pow(10, -v / 10)) / 6;
        double all = -10 * std::log10(mse);
        lowest = std::min(lowest, all);
        sum += all;
        n++;
    }
    if (n == 0)
        return "no PSNR in the encoder's log";
    char text[160];
    std::snprintf(
        text, sizeof text,
        "PSNR of the video against the exact pictures: lowest %.2f dB, mean %.2f dB over %ld frames",
        lowest, sum / static_cast<double>(n), n);
    return text;
}

// The whole show in the MP4: the video copied, the sound in AAC, and the last
// frame held until the show ended (which the container learns only from the
// last packet's duration).
bool make_mp4(recording &r) {
    long last_duration =
        std::max(1L, std::lround((r.run.end - r.run.first_frame) * 1000) - r.last_ms);
    std::string setts = "setts=duration=if(eq(N\\," + std::to_string(r.frames_encoded - 1) +
                        ")\\," + std::to_string(last_duration) + "\\,DURATION)";
    std::vector<std::string> argv = {
        "ffmpeg", "-nostdin", "-v", "error", "-y", "-i", r.tmp.path + "/video.mkv", "-map", "0:v"};
    if (r.sound_kept > 0)
        argv.insert(argv.end(), {"-map", "0:a", "-c:a", "aac", "-b:a", "192k"});
    else
        std::fprintf(stderr, "record: no sound reached the recording\n");
    argv.insert(argv.end(), {"-c:v", "copy", "-bsf:v", setts, "-video_track_timescale", "1000",
                             "-movflags", "+faststart", "-f", "mp4", r.tmp.path + "/demo.mp4"});
    std::string error;
    pid_t pid = r.kids.spawn({argv, "", -1, -1, -1, {}}, error);
    if (pid < 0)
        return fail(error);
    int status = r.kids.wait(pid, -1, &r.cpu_after);
    if (status < 0)
        return false;
    if (status != 0)
        return fail("ffmpeg could not write the MP4 (status " + std::to_string(status) + ")");
    r.outputs.push_back("demo.mp4");
    return true;
}

// Pictures through ffmpeg as a PNG with a palette (the pictures have at most 16 colours).
bool write_png(recording &r, const std::string &name, const std::vector<std::uint8_t> &rgb, int w,
               int h, int count, const std::string &filter) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail("cannot make a pipe: " + errno_text(errno));
    fd_guard read_end(fds[0]), write_end(fds[1]);
    std::string size = std::to_string(w) + "x" + std::to_string(h), error;
    pid_t pid =
        r.kids.spawn({{"ffmpeg",
                       "-nostdin",
                       "-v",
                       "error",
                       "-y",
                       "-f",
                       "rawvideo",
                       "-pix_fmt",
                       "rgb24",
                       "-s",
                       size,
                       "-i",
                       "pipe:0",
                       "-vf",
                       filter + "split[a][b];[a]palettegen=max_colors=32:reserve_transparent=0[p];"
                                "[b][p]paletteuse=dither=none",
                       "-frames:v",
                       "1",
                       "-update",
                       "1",
                       "-f",
                       "image2",
                       r.tmp.path + "/" + name},
                      "",
                      read_end.fd,
                      -1,
                      -1,
                      {}},
                     error);
    if (pid < 0)
        return fail(error);
    read_end.reset();
    bool ok =
        write_unless_stopped(write_end.fd, rgb.data(), static_cast<std::size_t>(w) * h * 3 * count);
    write_end.reset();
    int status = r.kids.wait(pid, -1, &r.cpu_after);
    if (status < 0)
        return false;
    if (status != 0 || !ok)
        return fail("ffmpeg could not write " + name);
    r.outputs.push_back(name);
    return true;
}

}  // namespace

bool write_cast(recording &r) {
    const std::string path = r.tmp.path + "/demo.cast";
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> cast(std::fopen(path.c_str(), "w"),
                                                          std::fclose);
    if (!cast)
        return fail("cannot write " + path + ": " + errno_text(errno));
    // Beside asciicast's own keys, what the web page's maker needs: the time
    // of the first frame (where the video starts; written as its event's
    // time is) and whether the frames are compact or whole.
    const cast_header header = recorder_cast_header(
        static_cast<long>(r.run.wall_clock), r.run.first_frame - r.run.first_byte, r.opt.cast_full);
    std::fputs(cast_header_line(header).c_str(), cast.get());
    // The compact form: the units before the first frame as printed, then
    // each frame as what it changes on the terminal.
    auto shown = std::make_unique<terminal>();
    std::string compact;
    bool ok = replay(
        r, [&](unit_kind kind, const frame_codes &f, const char *bytes, std::size_t n, double t) {
            if (!r.opt.cast_full) {
                compact = cast_unit(*shown, kind, f, bytes, n);
                bytes = compact.data();
                n = compact.size();
            }
            const std::string line = cast_event_line(cast_time(t - r.run.first_byte), bytes, n);
            return std::fwrite(line.data(), 1, line.size(), cast.get()) == line.size();
        });
    if (!ok)
        return stop_signal ? false : fail("cannot write " + path + ": " + errno_text(errno));
    if (std::fflush(cast.get()) != 0 || std::ferror(cast.get()))
        return fail("cannot write " + path + ": " + errno_text(errno));
    r.outputs.push_back("demo.cast");
    return true;
}

bool encode_video(recording &r) {
    const double cpu_before = cpu_seconds();
    sound_feed sound;
    if (!open_sound_feed(r, sound))
        return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail("cannot make a pipe: " + errno_text(errno));
    fd_guard read_end(fds[0]), write_end(fds[1]);
    fd_guard log(memory_log());
    pid_t encoder = start_encoder(r, read_end.fd, log.fd);
    if (encoder < 0)
        return false;
    read_end.reset();
    bool sent = draw_frames(r, write_end.fd, sound);
    write_end.reset();
    int status = r.kids.wait(encoder, -1, &r.cpu_after);
    r.cpu_after += cpu_seconds() - cpu_before;
    if (status < 0 || stop_signal)
        return false;
    if (status != 0 || !sent)
        return fail("ffmpeg stopped encoding the video (status " + std::to_string(status) + ")" +
                    log_tail(read_log(log.fd)));
    if (r.opt.psnr)
        r.psnr = psnr_summary(read_log(log.fd));
    r.sound_kept = sound.kept;
    return make_mp4(r);
}

bool write_stills(recording &r) {
    const double cpu_before = cpu_seconds();
    const int w = WIDTH * 8, h = TERM_HEIGHT * r.font.height;
    std::vector<std::uint8_t> sheet;
    int shots = 0;
    for (still &s : r.stills) {
        // A still asked for and not taken is a failed recording, kept nowhere.
        if (!s.taken) {
            char when[80];
            std::snprintf(when, sizeof when, " at %.2f s is after the end of the show at %.2f s",
                          s.at, r.run.end - r.run.first_frame);
            return fail("still " + s.name + when);
        }
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
        render_rgb(s.shot, r.font, rgb.data());
        if (!write_png(r, s.name + ".png", rgb, w, h, 1, ""))
            return false;
        sheet.insert(sheet.end(), rgb.begin(), rgb.end());
        shots++;
    }
    if (shots > 0) {
        int cols = std::min(shots, 4), rows = (shots + cols - 1) / cols;
        if (!write_png(r, "contact.png", sheet, w, h, shots,
                       "scale=" + std::to_string(w / 2) + ":" + std::to_string(h / 2) +
                           ":flags=area,tile=" + std::to_string(cols) + "x" + std::to_string(rows) +
                           ":padding=4:margin=4:color=gray,"))
            return false;
    }
    r.cpu_after += cpu_seconds() - cpu_before;
    return true;
}
