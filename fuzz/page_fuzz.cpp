// Fuzz target of the web page's reading of a cast (cast_check, run by
// tools/web/make_web.sh before anything is made): any bytes as a cast, with
// a poster moment taken from the first byte. Whatever it reads must end in a
// verdict; a cast it takes must have its first frame within its length, and
// the poster it draws must be bytes a terminal reads back to a picture.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "cast.h"
#include "cast_check.h"
#include "term.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const double poster_at = data[0] == 0xff ? -1 : data[0] / 16.0;
    std::istringstream in(std::string(reinterpret_cast<const char *>(data) + 1, size - 1));
    cast_facts facts;
    const std::string said = check_cast(in, facts, poster_at);
    if (!said.empty()) {
        if (said.rfind("line ", 0) != 0)
            std::abort();  // every refusal names its line
        return 0;
    }
    if (!(facts.events >= 4 && facts.first_frame >= 0 && facts.first_frame <= facts.length))
        std::abort();
    if (poster_at >= 0) {
        auto t = std::make_unique<terminal>();
        cast_replay(*t, facts.poster);
    }
    return 0;
}
