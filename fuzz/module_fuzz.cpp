// Fuzz target of the sound library's loading of a module, the path the show
// loads its two modules by: the input is a module file (in memory, opened by
// its /proc/self/fd name), read under the size bound, checked for packing and
// for being cut short of what its headers hold, and loaded by the player. A
// module that loads is played for a moment and released; one that does not
// must say why.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sound.h"
#include "sound_mix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    static const int fd = memfd_create("module", MFD_CLOEXEC);
    static char path[64];
    if (fd < 0)
        std::abort();
    if (!path[0])
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    if (ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();

    FMUSIC_MODULE *m = FMUSIC_LoadSong(path);
    if (!m) {
        if (!sound_last_error()[0])
            std::abort();  // refused without a reason
        return 0;
    }
    static int16_t out[2 * 1024];
    FMUSIC_PlaySong(m);
    for (int i = 0; i < 4; i++)
        sound_mix(out, 1024);
    FMUSIC_FreeSong(m);
    return 0;
}
