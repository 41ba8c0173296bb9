// The recorder's stages and the state they hand on: check the output folder,
// start the show and the sound reader, pump the show's output while it runs,
// finish, then write the cast, encode the video and write the stills from
// what was kept, move the files into place and report.
#pragma once

#include <string>
#include <vector>

#include "process.h"
#include "sound_rate.h"
#include "term.h"

// The show opens its sound device at its rate, stereo 16-bit.
constexpr int AUDIO_RATE = SOUND_SHOW_RATE;
constexpr int AUDIO_FRAME_BYTES = 4;
// The video shows every pixel of the console font as 2 by 2.
constexpr int SCALE = 2;

struct options {
    std::string out = ".", run_dir = ".", demo = "./demo", stills,
                font = "/usr/share/consolefonts/Lat15-VGA16.psf.gz", preset = "slow",
                tune = "animation";
    int crf = 26;
    double give_up = 10;  // seconds the show may print nothing
    bool cast_full = false, psnr = false;
};

struct still {
    std::string name;
    double at;  // seconds from the first frame
    bool taken = false;
    terminal shot;
};

// What the show left while it ran: its printed stream and its sound in the
// temporary folder, and when they arrived (steady clock seconds).
struct take {
    std::string stream_path, sound_path, fifo_path;
    std::vector<double> unit_times;  // arrival of each whole unit of the stream
    long frames = 0;
    double wall_clock = 0;  // when the show started, in seconds since 1970
    double first_byte = -1, first_frame = -1, end = -1;
    double sound_start = -1;  // when the first sample kept was mixed; -1: no sound
    long long sound_bytes = 0;
    std::string said;        // the start of what a show that failed printed
    std::string bad_start;   // how its first bytes broke the format
    std::string cut_off;     // where a last unit was cut off by the end, if one was
    double cpu_running = 0;  // the recorder's CPU seconds while the show ran
};

struct recording {
    options opt;
    std::vector<still> stills;
    console_font font;
    folder_lock lock;  // declared before tmp: held until the temporary folder has gone
    temp_folder tmp;   // inside the output folder, so finished files move by rename
    children kids;     // declared after tmp: the children end before it goes
    take run;
    std::vector<std::string> outputs;  // files made in tmp, moved to the output folder last
    long frames_encoded = 0;
    long last_ms = -1;         // the last frame's time in the video
    long long sound_kept = 0;  // bytes of sound in the video
    double cpu_after = 0;      // CPU seconds of the stages and programs after the show
    std::string psnr;          // what the encoder measured, with --psnr
};

// Each stage says what went wrong on standard error and returns false.
bool parse_options(int argc, char **argv, recording &r, int &exit_status);
bool check_output(recording &r);
bool run_show(recording &r);  // start the show and the sound reader, pump, finish
bool write_cast(recording &r);
bool encode_video(recording &r);
bool write_stills(recording &r);
bool move_into_place(recording &r);
void report(const recording &r);

// Prints "record: " and the message on standard error; returns false.
bool fail(const std::string &message);
