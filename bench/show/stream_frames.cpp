// Counts the whole frames of a printed stream of the show, read from standard
// input by the recorder's reader: prints "frames N". A stream that breaks the
// format ends it with status 1 and the reader's message; a last frame cut off
// by the end is not counted.
#include <cstdio>
#include <unistd.h>

#include "stream.h"

int main() {
    static stream_reader reader;
    long frames = 0;
    const unit_handler count = [&](unit_kind kind, const frame_codes &, const char *, std::size_t) {
        frames += kind == unit_kind::frame;
        return true;
    };
    static char buf[1 << 16];
    ssize_t n;
    while ((n = read(STDIN_FILENO, buf, sizeof buf)) > 0)
        if (stream_feed(reader, buf, static_cast<std::size_t>(n), count) == feed_status::bad) {
            std::fprintf(stderr, "stream_frames: %s\n", reader.parser.error.c_str());
            return 1;
        }
    if (n < 0) {
        std::perror("stream_frames: standard input");
        return 1;
    }
    std::printf("frames %ld\n", frames);
    return 0;
}
