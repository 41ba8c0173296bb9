#include "module_check.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>

namespace {

// Reads little-endian numbers; a read past the end gives `past` and sets it.
struct reader {
    const unsigned char *data;
    std::size_t size;
    bool past = false;
    uint32_t at(unsigned long long off, int bytes) {
        if (off + bytes > size) {
            past = true;
            return 0;
        }
        uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; i--)
            v = v << 8 | data[off + i];
        return v;
    }
};

constexpr char XM_MAGIC[] = "Extended Module: ";
constexpr uint32_t XM_VERSION = 0x0104;
// The most patterns and instruments an XM module may hold, and samples an instrument.
constexpr uint32_t XM_MOST_PATTERNS = 256;
constexpr uint32_t XM_MOST_INSTRUMENTS = 128;
// The player mixes 1 to 64 channels; with none it never finishes a frame.
constexpr uint32_t XM_MOST_CHANNELS = 64;
constexpr uint32_t XM_MOST_SAMPLES = 16;

struct packer {
    const char *name;
    const char *magic;
    std::size_t length;
};
constexpr packer PACKERS[] = {
    {"gzip", "\x1f\x8b", 2},
    {"compress", "\x1f\x9d", 2},
    {"bzip2", "BZh", 3},
    {"zip", "PK\x03\x04", 4},
    {"zstd", "\x28\xb5\x2f\xfd", 4},
    {"xz",
     "\xfd"
     "7zXZ\x00",
     6},
};

}  // namespace

const char *file_kind(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return S_ISREG(mode) ? "a regular file" : "not a regular file";
}

unsigned long long xm_declared_size(const unsigned char *data, std::size_t size) {
    const std::size_t magic = sizeof XM_MAGIC - 1;
    if (size < magic || std::memcmp(data, XM_MAGIC, magic) != 0)
        return 0;
    reader r{data, size};
    if (r.at(58, 2) != XM_VERSION) {
        // Cut inside the first header, or an older version laid out otherwise.
        return r.past ? XM_HEADERS_CUT : 0;
    }
    const uint32_t patterns = r.at(70, 2), instruments = r.at(72, 2);
    if (patterns > XM_MOST_PATTERNS || instruments > XM_MOST_INSTRUMENTS)
        return r.past ? XM_HEADERS_CUT : 0;
    unsigned long long end = 60ULL + r.at(60, 4);
    for (uint32_t p = 0; p < patterns && !r.past; p++)
        end += r.at(end, 4) + r.at(end + 7, 2);  // its header, then its packed rows
    for (uint32_t i = 0; i < instruments && !r.past; i++) {
        const unsigned long long start = end;
        const uint32_t samples = r.at(start + 27, 2);
        end = start + r.at(start, 4);
        if (samples == 0 || r.past)
            continue;
        if (samples > XM_MOST_SAMPLES)
            return 0;
        const uint32_t header = r.at(start + 29, 4);
        unsigned long long data_bytes = 0;
        for (uint32_t s = 0; s < samples && !r.past; s++)
            data_bytes += r.at(end + 1ULL * s * header, 4);
        end += 1ULL * samples * header + data_bytes;
    }
    return r.past ? XM_HEADERS_CUT : end;
}

std::string module_fault(const unsigned char *data, std::size_t size) {
    for (const packer &p : PACKERS)
        if (size >= p.length && std::memcmp(data, p.magic, p.length) == 0)
            return std::string("is packed with ") + p.name +
                   "; the show plays a module only as it is, unpacked";
    const std::size_t magic = sizeof XM_MAGIC - 1;
    if (size >= 70 && std::memcmp(data, XM_MAGIC, magic) == 0) {
        const uint32_t channels = data[68] | data[69] << 8;
        if (channels == 0 || channels > XM_MOST_CHANNELS)
            return "tells of " + std::to_string(channels) + " channels; a module has 1 to " +
                   std::to_string(XM_MOST_CHANNELS);
    }
    const unsigned long long declared = xm_declared_size(data, size);
    if (declared == XM_HEADERS_CUT)
        return "is cut short inside its headers, at " + std::to_string(size) + " bytes";
    if (declared > size)
        return "is cut short: its headers tell of " + std::to_string(declared) +
               " bytes, the file has " + std::to_string(size);
    return "";
}
