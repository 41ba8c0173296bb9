// timeline: prints the show's scenes with the moments they begin and end, or
// turns moments named by scene into seconds from the show's first frame, for
// the scripts that photograph, record or cut the show.
#include <cstdio>
#include <cstring>
#include <string>

#include "option_number.h"
#include "show/timeline.h"
#include "tool_options.h"

namespace {

const char USAGE[] = "usage: timeline [--at MOMENT,...]\n"
                     "\n"
                     "Without --at: each scene's name, the seconds from the show's first frame\n"
                     "at which it begins at the earliest and at the latest (the fireworks last\n"
                     "longer or shorter), and at which it ends at the earliest and the latest.\n";

const char NOTES[] = "A MOMENT is [LABEL@]SCENE[+SECONDS][:LENGTH]: SECONDS after the scene's\n"
                     "latest beginning (0 when left out), and a stretch of LENGTH seconds from\n"
                     "there; it is printed as [LABEL@]START[:LENGTH]. A moment or stretch that\n"
                     "may fall outside its scene is refused with status 1 (a stretch of the last\n"
                     "scene may run past the show's end).\n";

double seconds(long us) { return us / 1e6; }

// When scene `i` begins at the latest: the scenes before it as long as they can be.
long latest_start_us(int i) {
    long later = 0;
    for (int k = 0; k < i; k++)
        later += timeline[k].longer_us;
    return timeline[i].start_us + later;
}

// When scene `i` ends at the earliest and at the latest.
long earliest_end_us(int i) { return i + 1 < SCENE_COUNT ? timeline[i + 1].start_us : SHOW_END_US; }
long latest_end_us(int i) {
    return i + 1 < SCENE_COUNT ? latest_start_us(i + 1)
                               : SHOW_END_US + latest_start_us(i) - timeline[i].start_us;
}

// Seconds as the shortest plain decimal (the table's moments are whole
// multiples of 100 microseconds, so nothing is rounded away).
std::string decimal(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", s);
    std::string t = text;
    while (t.back() == '0')
        t.pop_back();
    if (t.back() == '.')
        t.pop_back();
    return t;
}

void print_table() {
    std::printf("%-10s %9s %9s %9s %9s\n", "scene", "begins", "latest", "ends", "latest");
    for (int i = 0; i < SCENE_COUNT; i++)
        std::printf("%-10s %9.4f %9.4f %9.4f %9.4f\n", timeline[i].name,
                    seconds(timeline[i].start_us), seconds(latest_start_us(i)),
                    seconds(earliest_end_us(i)), seconds(latest_end_us(i)));
}

// One MOMENT into `out`; false with the reason in `why`.
bool resolve(const std::string &moment, std::string &out, std::string &why) {
    std::string rest = moment, label, offset = "0", length;
    if (size_t at = rest.find('@'); at != std::string::npos) {
        label = rest.substr(0, at + 1);
        rest.erase(0, at + 1);
    }
    if (size_t colon = rest.find(':'); colon != std::string::npos) {
        length = rest.substr(colon + 1);
        rest.erase(colon);
    }
    if (size_t plus = rest.find('+'); plus != std::string::npos) {
        offset = rest.substr(plus + 1);
        rest.erase(plus);
    }
    int i = 0;
    while (i < SCENE_COUNT && rest != timeline[i].name)
        i++;
    if (i == SCENE_COUNT) {
        why = "no scene is called \"" + rest + "\" (timeline lists them)";
        return false;
    }
    double into = 0, span = 0;
    if (!option_number(offset.c_str(), 0, 1e6, into) ||
        (!length.empty() && !option_number(length.c_str(), 0, 1e6, span))) {
        why = "the seconds must be numbers of 0 or more";
        return false;
    }
    // The scene is on screen for sure from its latest beginning to its
    // earliest end; a stretch may run up to that very end.
    const double sure_s = seconds(earliest_end_us(i) - latest_start_us(i));
    // Nothing follows the end: a recording stops with the show, so a stretch
    // of the last scene may run past it.
    const bool last = i + 1 == SCENE_COUNT;
    if (into >= sure_s || (!last && into + span > sure_s)) {
        why = "falls outside " + rest + ", which is on screen for sure for " + decimal(sure_s) +
              " s from its latest beginning";
        return false;
    }
    out = label + decimal(seconds(latest_start_us(i)) + into);
    if (!length.empty())
        out += ":" + length;
    return true;
}

int print_moments(const char *list) {
    std::string all = list, printed;
    size_t from = 0;
    while (true) {
        size_t comma = all.find(',', from);
        std::string moment = all.substr(from, comma - from), out, why;
        if (!resolve(moment, out, why)) {
            std::fprintf(stderr, "timeline: moment \"%s\": %s\n", moment.c_str(), why.c_str());
            return 1;
        }
        printed += (from ? "," : "") + out;
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    std::printf("%s\n", printed.c_str());
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    std::string at;
    tool_options line("timeline", USAGE, NOTES);
    line.text("at", "MOMENT,...",
              "each MOMENT as seconds from the first frame, comma-separated\nin the same order",
              at);
    if (const int status = line.parse(argc, argv, 0, 0); status >= 0)
        return status;
    if (at.empty()) {
        print_table();
        return 0;
    }
    return print_moments(at.c_str());
}
