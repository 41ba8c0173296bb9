// record: runs the show in its run directory at real speed with SDL's disk
// audio driver, keeps everything it prints stamped with its arrival time and
// its sound, and makes from them, once the show has ended, a video with the
// music (H.264 and AAC, through ffmpeg), an asciicast of the printed stream
// and stills of chosen moments.
#include <getopt.h>
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

namespace {

// x264's presets, from the fastest to the smallest file.
const char *const PRESETS[] = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                               "medium",    "slow",      "slower",   "veryslow", "placebo"};
const char *const TUNES[] = {"film", "animation", "grain", "stillimage", "psnr", "ssim"};

enum option_id {
    OUT,
    RUN_DIR,
    DEMO,
    STILLS,
    CAST_FULL,
    FONT,
    PRESET,
    TUNE,
    CRF,
    GIVE_UP,
    PSNR,
    HELP
};

struct option_help {
    const char *name, *value, *help;
};

// Every option with its help, in the order --help lists them (indexed by option_id).
const option_help OPTIONS[] = {
    {"out", "DIR", "where the recording goes (default: .), a folder that exists"},
    {"run-dir", "DIR", "where the show is started (default: .)"},
    {"demo", "PROGRAM", "the show (default: ./demo)"},
    {"stills", "LIST",
     "comma-separated NAME@SECONDS (or plain SECONDS, named still-SECONDS),\n"
     "counted from the first frame, as in the video"},
    {"cast-full", nullptr,
     "write every frame into the asciicast whole, as printed, not only\n"
     "the cells that changed"},
    {"font", "PSF",
     "the console font, gzipped or not\n"
     "(default: /usr/share/consolefonts/Lat15-VGA16.psf.gz)"},
    {"preset", "NAME", "the x264 preset (default: slow)"},
    {"tune", "NAME", "the x264 tune (default: animation, for flat-colour text art)"},
    {"crf", "N", "the x264 quality, 0 to 51, lower is better (default: 26)"},
    {"give-up", "SECONDS", "how long the show may print nothing, 1 to 3600 (default: 10)"},
    {"psnr", nullptr, "measure every frame of the video against its exact picture"},
    {"help", nullptr, "this help"},
};

void usage(std::FILE *to) {
    std::fputs("usage: record [OPTION]...\n"
               "Runs the show at real speed and writes into the output folder:\n"
               "  demo.mp4     H.264 video at 1280x800 with the music in AAC, every frame shown\n"
               "               for as long as it was on the terminal\n"
               "  demo.cast    the printed stream as an asciicast v2 recording (80x25), one\n"
               "               event a frame with only the cells that changed\n"
               "  NAME.png     with --stills, the terminal at chosen moments, 640x400, and\n"
               "  contact.png  all of them on one sheet\n"
               "Options:\n",
               to);
    for (const option_help &o : OPTIONS) {
        std::string head =
            std::string("  --") + o.name + (o.value ? std::string(" ") + o.value : "");
        std::string help = o.help;
        for (std::size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 24)
            help.replace(at, 1, "\n" + std::string(23, ' '));
        std::fprintf(to, "%-22s %s\n", head.c_str(), help.c_str());
    }
}

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

// One option's value into the options; false with a message when it is out of range.
bool take_option(options &o, option_id id, const char *v) {
    double n = 0;
    switch (id) {
        case OUT:
            o.out = v;
            return true;
        case RUN_DIR:
            o.run_dir = v;
            return true;
        case DEMO:
            o.demo = v;
            return true;
        case STILLS:
            o.stills = v;
            return true;
        case FONT:
            o.font = v;
            return true;
        case PSNR:
            o.psnr = true;
            return true;
        case CAST_FULL:
            o.cast_full = true;
            return true;
        case HELP:
            return true;
        case PRESET:
            o.preset = v;
            return one_of(o.preset, PRESETS) || fail(std::string("no x264 preset ") + v);
        case TUNE:
            o.tune = v;
            return one_of(o.tune, TUNES) || fail(std::string("no x264 tune ") + v);
        case CRF:
            if (!option_number(v, 0, 51, n) || n != std::floor(n))
                return fail(std::string("--crf is a whole number from 0 to 51, not ") + v);
            o.crf = static_cast<int>(n);
            return true;
        case GIVE_UP:
            return option_number(v, 1, 3600, o.give_up) ||
                   fail(std::string("--give-up is 1 to 3600 seconds, not ") + v);
    }
    return false;
}

}  // namespace

bool fail(const std::string &message) {
    std::fprintf(stderr, "record: %s\n", message.c_str());
    return false;
}

bool parse_options(int argc, char **argv, recording &r, int &exit_status) {
    std::vector<option> longopts;
    for (const option_help &o : OPTIONS)
        longopts.push_back({o.name, o.value ? required_argument : no_argument, nullptr,
                            static_cast<int>(longopts.size())});
    longopts.push_back({nullptr, 0, nullptr, 0});
    exit_status = 2;
    opterr = 0;
    int id, index = 0;
    while ((id = getopt_long(argc, argv, ":h", longopts.data(), &index)) != -1) {
        if (id == HELP || id == 'h') {
            usage(stdout);
            exit_status = 0;
            return false;
        }
        if (id == '?' || id == ':') {
            fail(id == ':' ? std::string(argv[optind - 1]) + " needs its argument"
                           : std::string("unknown option ") + argv[optind - 1] +
                                 " (record --help lists them)");
            return false;
        }
        if (!take_option(r.opt, static_cast<option_id>(id), optarg))
            return false;
    }
    if (optind < argc)
        return fail(std::string("unexpected argument ") + argv[optind]);
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
