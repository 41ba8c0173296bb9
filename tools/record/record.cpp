// record: runs the show in its run directory at real speed with SDL's disk
// audio driver, keeps everything it prints stamped with its arrival time and
// its sound, and makes from them, once the show has ended, a video with the
// music (H.264 and AAC, through ffmpeg), an asciicast of the printed stream
// and stills of chosen moments.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "option_number.h"
#include "output_guard.h"
#include "record.h"
#include "tool_options.h"

namespace {

// x264's presets, from the fastest to the smallest file.
const char *const PRESETS[] = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                               "medium",    "slow",      "slower",   "veryslow", "placebo"};
const char *const TUNES[] = {"film", "animation", "grain", "stillimage", "psnr", "ssim"};

const char USAGE[] =
    "usage: record [OPTION]...\n"
    "\n"
    "Runs the show at real speed and writes into the output folder:\n"
    "  demo.mp4     H.264 video at 1280x800 with the music in AAC, every frame shown\n"
    "               for as long as it was on the terminal\n"
    "  demo.cast    the printed stream as an asciicast v2 recording (80x25), one\n"
    "               event a frame with only the cells that changed\n"
    "  NAME.png     with --stills, the terminal at chosen moments, 640x400, and\n"
    "  contact.png  all of them on one sheet\n";

// The most stills one recording takes: each is a picture of its own and a
// tile of the contact sheet, all held in memory until the sheet is made.
constexpr std::size_t MAX_STILLS = 100;

bool one_of(const std::string &v, const auto &names) {
    return std::find(std::begin(names), std::end(names), v) != std::end(names);
}

bool parse_still(const std::string &item, still &s) {
    std::size_t at = item.find('@');
    std::string when = at == std::string::npos ? item : item.substr(at + 1);
    if (!option_number(when.c_str(), 0, 86400, s.at))
        return fail("a still is NAME@SECONDS or SECONDS, not '" + item + "'");
    if (at == std::string::npos) {
        char name[32];
        std::snprintf(name, sizeof name, "still-%07.2f", s.at);
        s.name = name;
        return true;
    }
    s.name = item.substr(0, at);
    if (s.name.empty() || s.name.find('/') != std::string::npos || s.name[0] == '.')
        return fail("bad still name in '" + item + "'");
    return true;
}

bool parse_stills(recording &r) {
    const std::string &list = r.opt.stills;
    for (std::size_t pos = 0; pos < list.size();) {
        std::size_t comma = std::min(list.find(',', pos), list.size());
        std::string item = list.substr(pos, comma - pos);
        pos = comma + 1;
        still s;
        if (!item.empty() && !parse_still(item, s))
            return false;
        if (!item.empty())
            r.stills.push_back(std::move(s));
        if (r.stills.size() > MAX_STILLS)
            return fail("--stills takes at most " + std::to_string(MAX_STILLS) + " stills");
    }
    // Each still is a file of its own, beside the contact sheet.
    for (std::size_t i = 0; i < r.stills.size(); i++) {
        if (r.stills[i].name == "contact")
            return fail("a still cannot be named contact: contact.png is the sheet of them all");
        for (std::size_t j = 0; j < i; j++)
            if (r.stills[j].name == r.stills[i].name)
                return fail("two stills are named " + r.stills[i].name);
    }
    std::sort(r.stills.begin(), r.stills.end(),
              [](const still &a, const still &b) { return a.at < b.at; });
    return true;
}

// The files the recording will leave in the output folder.
std::vector<std::string> output_names(const recording &r) {
    std::vector<std::string> names = {"demo.cast", "demo.mp4"};
    for (const still &s : r.stills)
        names.push_back(s.name + ".png");
    if (!r.stills.empty())
        names.push_back("contact.png");
    return names;
}

// A value that must be one of `names`; why it is refused, or "".
tool_options::taker one_of_names(const char *option, std::string &into, const auto &names,
                                 const char *what) {
    return [=, &into, &names](const std::vector<const char *> &w) {
        into = w[0];
        return one_of(into, names)
                   ? std::string()
                   : std::string(option) + " takes " + what + ", not '" + w[0] + "'";
    };
}

}  // namespace

bool fail(const std::string &message) {
    std::fprintf(stderr, "record: %s\n", message.c_str());
    return false;
}

bool parse_options(int argc, char **argv, recording &r, int &exit_status) {
    options &o = r.opt;
    tool_options line("record", USAGE);
    line.text("out", "DIR", "where the recording goes (default: .), a folder that exists", o.out);
    line.text("run-dir", "DIR", "where the show is started (default: .)", o.run_dir);
    line.text("demo", "PROGRAM", "the show (default: ./demo)", o.demo);
    line.text("stills", "LIST",
              "comma-separated NAME@SECONDS (or plain SECONDS, named\n"
              "still-SECONDS), counted from the first frame, as in the video;\n"
              "at most 100",
              o.stills);
    line.flag("cast-full",
              "write every frame into the asciicast whole, as printed, not\n"
              "only the cells that changed",
              o.cast_full);
    line.text("font", "PSF",
              "the console font, gzipped or not\n"
              "(default: /usr/share/consolefonts/Lat15-VGA16.psf.gz)",
              o.font);
    line.custom("preset", "NAME", "the x264 preset (default: slow)", 1,
                one_of_names("--preset", o.preset, PRESETS, "an x264 preset"));
    line.custom("tune", "NAME", "the x264 tune (default: animation, for flat-colour text art)", 1,
                one_of_names("--tune", o.tune, TUNES, "an x264 tune"));
    line.whole("crf", "N", "the x264 quality, 0 to 51, lower is better (default: 26)", 0, 51,
               o.crf);
    line.number("give-up", "SECONDS",
                "how long the show may print nothing, 1 to 3600 (default: 10)", 1, 3600, o.give_up);
    line.flag("psnr", "measure every frame of the video against its exact picture", o.psnr);
    exit_status = line.parse(argc, argv, 0, 0);
    if (exit_status >= 0)
        return false;
    exit_status = 2;
    return parse_stills(r);
}

// Before the show starts: no other recorder records into the output folder,
// every file it will hold may be written there, the folder takes files (the
// temporary folder is made in it), the font reads and ffmpeg is there.
bool check_output(recording &r) {
    std::error_code ec;
    std::filesystem::path out = std::filesystem::absolute(r.opt.out, ec);
    if (ec || !std::filesystem::is_directory(out, ec))
        return fail("the output folder " + r.opt.out + " is not a folder that exists");
    std::string error;
    if (!r.lock.take(out.string(), error))
        return fail(error);
    for (const std::string &name : output_names(r))
        if (error = output_refusal((out / name).string(), {r.opt.font}); !error.empty())
            return fail(error);
    if (!r.tmp.make((out / ".record-").string(), error))
        return fail("the output folder " + r.opt.out + " does not take files: " + error);
    if (std::string err = load_font(r.opt.font, r.font); !err.empty())
        return fail(err);
    bool found = false;
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t pos = 0; pos <= dirs.size() && !found;) {
        std::size_t colon = std::min(dirs.find(':', pos), dirs.size());
        std::string dir = dirs.substr(pos, colon - pos);
        found = access(((dir.empty() ? "." : dir) + "/ffmpeg").c_str(), X_OK) == 0;
        pos = colon + 1;
    }
    return found || fail("ffmpeg is not installed (no ffmpeg on the PATH); it makes the video");
}

// The finished files take their final names only now, all of them or, when
// one cannot, none, so a failed run leaves the folder as it was.
bool move_into_place(recording &r) {
    std::vector<std::pair<std::string, std::string>> moves;
    for (const std::string &name : r.outputs)
        moves.push_back({r.tmp.path + "/" + name, r.opt.out + "/" + name});
    std::string error;
    return move_all_into_place(moves, error) || fail(error);
}

void report(const recording &r) {
    const take &run = r.run;
    double show_time = run.end - run.first_frame;
    std::printf("frames printed %ld, frames in the video %ld\n", run.frames, r.frames_encoded);
    std::printf("show %.2f s from the first frame to the end, sound %.2f s\n", show_time,
                static_cast<double>(r.sound_kept) / (AUDIO_RATE * AUDIO_FRAME_BYTES));
    std::printf("recorder's CPU while the show ran %.2f s = %.3f of the show's time; "
                "afterwards %.2f s (drawing, encoding and stills)\n",
                run.cpu_running, run.cpu_running / show_time, r.cpu_after);
    if (!r.psnr.empty())
        std::printf("%s\n", r.psnr.c_str());
    if (!run.cut_off.empty())
        std::fprintf(stderr,
                     "record: the last frame was cut off by the end of the recording at %s; it is "
                     "dropped\n",
                     run.cut_off.c_str());
}

int main(int argc, char **argv) {
    catch_stop_signals();
    auto r = std::make_unique<recording>();
    int status = 1;
    if (!parse_options(argc, argv, *r, status))
        return status;
    bool ok = check_output(*r) && run_show(*r) && write_cast(*r) && encode_video(*r) &&
              write_stills(*r) && move_into_place(*r);
    if (ok)
        report(*r);
    else if (stop_signal)
        std::fprintf(stderr, "record: stopped by signal %d; nothing is kept\n",
                     static_cast<int>(stop_signal));
    r.reset();  // the children end and the temporary folder goes before the status is given
    return stop_signal ? 128 + stop_signal : ok ? 0 : 1;
}
