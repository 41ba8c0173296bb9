// Fuzz target of the one reader and writer of the cast: any bytes as a cast,
// with a poster moment taken from the first byte, read as cast_check reads it
// (tools/web/make_web.sh runs it before anything is made) and made compact as
// cast_compact makes it. Whatever it reads must end in a verdict; a cast it
// takes must have its first frame within its length, and the poster it draws
// must be bytes a terminal reads back to a picture. The compaction follows
// the same rule: it refuses what the reader refuses, with the same words, and
// a full cast it takes becomes one the reader takes as compact, with the same
// events, times and poster picture.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "cast.h"
#include "cast_check.h"
#include "term.h"

namespace {

// The picture the bytes draw on a blank terminal.
std::unique_ptr<terminal> drawn(const std::string &bytes) {
    auto t = std::make_unique<terminal>();
    cast_replay(*t, bytes);
    return t;
}

// Two pictures look the same: each cell's character, ink, paper and overline.
bool same_look(const terminal &a, const terminal &b) {
    for (int y = 0; y < TERM_HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const term_cell &p = a.cells[y][x], &q = b.cells[y][x];
            if (p.ch != q.ch || ink_of(p.look) != ink_of(q.look) ||
                paper_of(p.look) != paper_of(q.look) || p.look.overline != q.look.overline)
                return false;
        }
    return true;
}

// The cast made compact, against what the reader said of it.
void round_trip(const std::string &cast, double poster_at, const std::string &said,
                const cast_facts &facts) {
    std::istringstream in(cast);
    std::string compact;
    const std::string made = compact_cast(in, compact);
    if (!said.empty() || facts.compact) {
        if (made != (said.empty() ? "its frames are compact already" : said))
            std::abort();  // the two tools answer one cast alike
        return;
    }
    if (!made.empty())
        std::abort();
    std::istringstream again(compact);
    cast_facts after;
    if (!check_cast(again, after, poster_at).empty() || !after.compact ||
        after.events != facts.events || after.first_frame != facts.first_frame ||
        after.length != facts.length)
        std::abort();
    if (poster_at >= 0 && !same_look(*drawn(facts.poster), *drawn(after.poster)))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const double poster_at = data[0] == 0xff ? -1 : data[0] / 16.0;
    const std::string cast(reinterpret_cast<const char *>(data) + 1, size - 1);
    std::istringstream in(cast);
    cast_facts facts;
    const std::string said = check_cast(in, facts, poster_at);
    if (!said.empty() && said.rfind("line ", 0) != 0)
        std::abort();  // every refusal names its line
    if (said.empty() &&
        !(facts.events >= 4 && facts.first_frame >= 0 && facts.first_frame <= facts.length))
        std::abort();
    if (said.empty() && poster_at >= 0)
        drawn(facts.poster);
    round_trip(cast, poster_at, said, facts);
    return 0;
}
