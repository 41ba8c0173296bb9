// The show's asciicast (demo.cast): what the recorder writes and every tool
// reads, through the writer and the line reader here (docs/cast.md says the
// same for a person).
//
// An asciicast v2 file: one JSON text a line, each line ended by a newline.
//   1. The header, an object: "version" 2, "width" WIDTH (80), "height"
//      TERM_HEIGHT (25); the recorder's own keys "first_frame", the time of
//      the first frame's event (where the video and the music start), and
//      "frames", "compact" or "full"; and asciicast's "timestamp" and "env".
//      Each key at most once; keys the tools do not read are kept as written.
//      A cast without "first_frame" or "frames" (an older recording) is read
//      too: its first frame is its fourth event, its form told by that frame.
//   2. Output events, [TIME, "o", DATA]: TIME the seconds since the show's
//      first byte, a JSON number (written with six decimals) that is finite,
//      not negative and never less than the event's before; DATA a JSON
//      string of bytes the show prints: ASCII only, whichever way it is
//      spelled (a raw byte or a \u escape), each newline written as "\r\n",
//      as the tty gives it. Nothing follows the closing bracket.
// The events are the show's stream unit by unit: the reset, the cursor
// hiding and the reserved lines as printed, then one event a frame. A full
// cast holds each frame as printed; a compact one the bytes that take the
// terminal from the frame before to this one (cast.h), made only of
// printable characters, newlines, the reset ESC c, cursor moves, SGR and the
// cursor's showing and hiding.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The header line: every key with its value as JSON text, in the order
// written, and what the tools read from them.
struct cast_header {
    std::vector<std::pair<std::string, std::string>> keys;
    double version = 0, width = 0, height = 0;
    double first_frame = -1;  // -1: not said
    std::string frames;       // "compact", "full", or empty: not said

    // Sets a key to a JSON value in its place, or adds it at the end.
    void set(const std::string &key, const std::string &json);
};

// The header the recorder writes for a show started at `timestamp` (seconds
// since 1970) whose first frame came `first_frame` seconds after its first byte.
cast_header recorder_cast_header(long timestamp, double first_frame, bool full);

// A time as the cast writes it: six decimals.
std::string cast_time(double seconds);

// A time read from a cast, to be written again as it was read: six decimals
// when they say it exactly, else the fewest digits that do.
std::string cast_time_kept(double seconds);

// The header as a line of the cast, its newline included.
std::string cast_header_line(const cast_header &h);

// An output event of the bytes p[0..n) at `time` (cast_time or
// cast_time_kept), its newline included.
std::string cast_event_line(const std::string &time, const char *p, std::size_t n);

// Reads one line (without its newline) as the header: empty, or what is wrong.
std::string read_cast_header(const std::string &line, cast_header &h);

// Reads one line as an output event: its time and its bytes as written (with
// the tty's "\r\n"). Empty, or what is wrong.
std::string read_cast_event(const std::string &line, double &t, std::string &data);
