// Helpers shared by the compiler, module and report tests: run xmc, load a
// module in libxmp, render it, run openmpt123.
#pragma once

#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "child.h"
#include "temp_dir.h"

namespace probe {

// Runs a command with its standard error joined to its standard output.
inline child_result run(const std::string &command) { return run_child(command + " 2>&1"); }

// `s` as one word for the shell, whatever quotes it holds.
inline std::string quote(const std::string &s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs the module compiler over `score`, writing `module`.
inline child_result xmc(const std::string &score, const std::string &module) {
    return run(std::string(XMC_BINARY) + " " + quote(score) + " " + quote(module));
}

// Writes `score` as <name>.score in `dir` and compiles it to <name>.xm there:
// the module's path, or an empty one when the compiler failed.
inline std::string compile(const temp_dir &dir, const std::string &name, const std::string &score) {
    const std::string module = dir.path(name + ".xm");
    const child_result r = xmc(dir.write(name + ".score", score), module);
    return r.status == 0 ? module : std::string();
}

// A libxmp context with a module loaded, freed on scope exit.
struct loaded_module {
    xmp_context ctx;
    xmp_module_info info{};
    int status = -1;
    bool playing = false;

    explicit loaded_module(const std::string &file) : ctx(xmp_create_context()) {
        status = xmp_load_module(ctx, file.c_str());
        if (status == 0)
            xmp_get_module_info(ctx, &info);
    }
    ~loaded_module() {
        if (status == 0) {
            if (playing)
                xmp_end_player(ctx);
            xmp_release_module(ctx);
        }
        xmp_free_context(ctx);
    }
    loaded_module(const loaded_module &) = delete;
    loaded_module &operator=(const loaded_module &) = delete;

    const xmp_module &mod() const { return *info.mod; }

    const xmp_event &event(int pattern, int channel, int row) const {
        const xmp_module &m = mod();
        return m.xxt[m.xxp[pattern]->index[channel]]->event[row];
    }

    // Renders `seconds` of stereo 16-bit sound at `rate`; a stopped player renders silence.
    std::vector<int16_t> render(double seconds, int rate = 44100) {
        if (!playing) {
            xmp_start_player(ctx, rate, 0);
            playing = true;
        }
        std::vector<int16_t> out(static_cast<std::size_t>(seconds * rate) * 2, 0);
        std::size_t done = 0;
        while (done < out.size()) {
            std::size_t n = std::min<std::size_t>(4096, out.size() - done);
            if (xmp_play_buffer(ctx, out.data() + done, static_cast<int>(n * 2), 0) != 0)
                break;
            done += n;
        }
        return out;
    }
};

inline double rms(const std::vector<int16_t> &s, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; i++)
        sum += static_cast<double>(s[i]) * s[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) / 32768.0 : 0;
}

}  // namespace probe
