// The show's asciicast as the web page takes it: read whole and checked before
// anything is made from it, so that a cut, edited or foreign cast is refused
// with the line that is wrong instead of becoming a broken page.
#pragma once

#include <istream>
#include <string>

struct cast_facts {
    double first_frame = -1;  // the first frame's time, where the video and the music start
    bool compact = true;      // frames as the cells they change, or printed whole
    double length = 0;        // the last event's time
    long events = 0;
    std::string poster;  // with a poster moment: bytes that draw the picture shown then
};

// Reads a cast of the show: an asciicast v2 header of 80x25 (the recorder's
// "first_frame" and "frames" keys, when there, must agree with the events),
// then output events with finite times that never go back: the reset, the
// cursor hiding and the reserved lines as printed, then one whole frame an
// event, every line ended. With poster_at >= 0, facts.poster is the picture at
// that many seconds after the first frame, as bytes for a blank terminal.
// Returns an empty string or what is wrong, starting "line N: ".
std::string check_cast(std::istream &in, cast_facts &facts, double poster_at = -1);
