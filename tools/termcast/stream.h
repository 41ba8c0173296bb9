// Reads the show's standard output exactly as stream_format.h describes it:
// the terminal reset, the cursor hiding, the reserved lines, then one frame
// after the other. Anything else stops the reading.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "stream_format.h"

// One printed cell: the three SGR parameters as printed and the character byte.
struct cell_code {
    int attr, fg, bg;
    unsigned char data;
};

struct frame_codes {
    cell_code cells[HEIGHT][WIDTH];
};

enum class unit_kind { reset, hide_cursor, reserve, frame };

enum class parse_status { done, need_more, bad };

struct stream_parser {
    int stage = 0;           // units read so far, up to 3 (the preamble), then frames
    std::size_t offset = 0;  // stream offset of the next unit
    long frames = 0;         // whole frames read
    std::string error;       // what went wrong, with the byte offset and the frame
};

// Reads the next unit from p[0..n), which holds the stream from ps.offset on.
// done: `kind` (and `f` for a frame) are set, `used` bytes were read and ps
// has moved past them. need_more: the unit is cut short at n. bad: the bytes
// break the format, ps.error tells where.
parse_status next_unit(stream_parser &ps, const char *p, std::size_t n, unit_kind &kind,
                       frame_codes &f, std::size_t &used);

// The stream read as it arrives, in pieces of any size: whole units are handed
// on, a unit cut short waits for the bytes that complete it.
struct stream_reader {
    stream_parser parser;
    std::string pending;  // bytes of a unit not yet whole
    frame_codes codes;    // the cells of the last frame read
};

// Called for each whole unit with its printed bytes; returning false stops the reading.
using unit_handler =
    std::function<bool(unit_kind kind, const frame_codes &f, const char *bytes, std::size_t n)>;

enum class feed_status { more, stopped, bad };

// Reads n more bytes of the stream. more: every whole unit was handed on;
// stopped: the handler said so; bad: the bytes break the format (the parser's
// error tells where).
feed_status stream_feed(stream_reader &r, const char *p, std::size_t n,
                        const unit_handler &on_unit);
