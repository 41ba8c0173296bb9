#include "mkv.h"

#include <cstdint>
#include <cstring>

namespace {

std::string size_vint(std::uint64_t n) {
    int len = 1;
    while (len < 8 && n >= (1ull << (7 * len)) - 1)
        len++;
    std::string s(static_cast<std::size_t>(len), '\0');
    std::uint64_t v = n | (1ull << (7 * len));
    for (int i = len - 1; i >= 0; i--, v >>= 8)
        s[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xff);
    return s;
}

std::string id_bytes(std::uint32_t id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (id >> shift || !s.empty())
            s += static_cast<char>(id >> shift & 0xff);
    return s;
}

std::string element(std::uint32_t id, const std::string &data) {
    return id_bytes(id) + size_vint(data.size()) + data;
}

std::string uint_el(std::uint32_t id, std::uint64_t v) {
    std::string s;
    do {
        s.insert(s.begin(), static_cast<char>(v & 0xff));
        v >>= 8;
    } while (v);
    return element(id, s);
}

std::string float_el(std::uint32_t id, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    std::string s(8, '\0');
    for (int i = 7; i >= 0; i--, bits >>= 8)
        s[static_cast<std::size_t>(i)] = static_cast<char>(bits & 0xff);
    return element(id, s);
}

}  // namespace

std::string mkv_header(int width, int height, int rate, int channels) {
    std::string ebml =
        element(0x1A45DFA3, uint_el(0x4286, 1) + uint_el(0x42F7, 1) + uint_el(0x42F2, 4) +
                                uint_el(0x42F3, 8) + element(0x4282, "matroska") +
                                uint_el(0x4287, 4) + uint_el(0x4285, 2));
    // A segment of unknown size, as a live stream has.
    std::string segment = id_bytes(0x18538067) + std::string("\x01\xff\xff\xff\xff\xff\xff\xff", 8);
    std::string info = element(0x1549A966, uint_el(0x2AD7B1, 1000000) + element(0x4D80, "record") +
                                               element(0x5741, "record"));
    std::string video =
        element(0xAE, uint_el(0xD7, VIDEO_TRACK) + uint_el(0x73C5, VIDEO_TRACK) + uint_el(0x83, 1) +
                          element(0x86, "V_UNCOMPRESSED") +
                          element(0xE0, uint_el(0xB0, static_cast<std::uint64_t>(width)) +
                                            uint_el(0xBA, static_cast<std::uint64_t>(height)) +
                                            element(0x2EB524, "I420")));
    std::string audio =
        element(0xAE, uint_el(0xD7, AUDIO_TRACK) + uint_el(0x73C5, AUDIO_TRACK) + uint_el(0x83, 2) +
                          element(0x86, "A_PCM/INT/LIT") +
                          element(0xE1, float_el(0xB5, rate) +
                                            uint_el(0x9F, static_cast<std::uint64_t>(channels)) +
                                            uint_el(0x6264, 16)));
    return ebml + segment + info + element(0x1654AE6B, video + audio);
}

std::string mkv_block_head(int track, long ms, std::size_t payload) {
    // Track number, a relative time of 0 and the key-frame flag.
    std::string block_head = size_vint(static_cast<std::uint64_t>(track));
    block_head += std::string("\0\0\x80", 3);
    std::string block = id_bytes(0xA3) + size_vint(block_head.size() + payload) + block_head;
    std::string stamp = uint_el(0xE7, static_cast<std::uint64_t>(ms));
    return id_bytes(0x1F43B675) + size_vint(stamp.size() + block.size() + payload) + stamp + block;
}
