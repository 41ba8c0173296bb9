// The one reader of the show's asciicast (cast_file.h says its form): read
// whole and checked before anything is made from it, so that a cut, edited or
// foreign cast is refused with the line that is wrong instead of becoming a
// broken page or a broken compact cast.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <string>

#include "cast_file.h"
#include "stream.h"

struct cast_facts {
    cast_header header;
    double first_frame = -1;  // the first frame's time, where the video and the music start
    bool compact = true;      // frames as the cells they change, or printed whole
    double length = 0;        // the last event's time
    long events = 0;
    std::string poster;  // with a poster moment: bytes that draw the picture shown then
};

// Each unit of the show's stream read from a full cast, with its event's
// time: the three before the first frame (of any cast), then every frame.
using cast_unit_sink = std::function<void(double t, unit_kind kind, const frame_codes &f,
                                          const char *bytes, std::size_t n)>;

// Reads a cast of the show: the header (the recorder's "first_frame" and
// "frames" keys, when there, must agree with the events), then output events
// whose times never go back: the reset, the cursor hiding and the reserved
// lines as printed, then one whole frame an event, every line ended. With
// poster_at >= 0, facts.poster is the picture at that many seconds after the
// first frame, as bytes for a blank terminal.
// Returns an empty string or what is wrong, starting "line N: ".
std::string check_cast(std::istream &in, cast_facts &facts, double poster_at = -1,
                       const cast_unit_sink &on_unit = nullptr);

// Reads a full cast of the show and writes it compact into `out`: the same
// header, its "frames" now "compact" and its "first_frame" said, the same
// event times, the units before the first frame as printed and each frame as
// the bytes that change the screen. Returns an empty string or what is wrong
// with the cast (a compact one among it); `out` is set only when it is right.
std::string compact_cast(std::istream &in, std::string &out);
