#include "mkv.h"

#include <cstdint>
#include <cstring>

namespace {

// The Matroska element IDs the stream uses, with their marker bits.
constexpr std::uint32_t EBML = 0x1A45DFA3;
constexpr std::uint32_t EBML_VERSION = 0x4286;
constexpr std::uint32_t EBML_READ_VERSION = 0x42F7;
constexpr std::uint32_t EBML_MAX_ID_LENGTH = 0x42F2;
constexpr std::uint32_t EBML_MAX_SIZE_LENGTH = 0x42F3;
constexpr std::uint32_t DOC_TYPE = 0x4282;
constexpr std::uint32_t DOC_TYPE_VERSION = 0x4287;
constexpr std::uint32_t DOC_TYPE_READ_VERSION = 0x4285;
constexpr std::uint32_t SEGMENT = 0x18538067;
constexpr std::uint32_t INFO = 0x1549A966;
constexpr std::uint32_t TIMESTAMP_SCALE = 0x2AD7B1;
constexpr std::uint32_t MUXING_APP = 0x4D80;
constexpr std::uint32_t WRITING_APP = 0x5741;
constexpr std::uint32_t TRACKS = 0x1654AE6B;
constexpr std::uint32_t TRACK_ENTRY = 0xAE;
constexpr std::uint32_t TRACK_NUMBER = 0xD7;
constexpr std::uint32_t TRACK_UID = 0x73C5;
constexpr std::uint32_t TRACK_TYPE = 0x83;
constexpr std::uint32_t CODEC_ID = 0x86;
constexpr std::uint32_t VIDEO = 0xE0;
constexpr std::uint32_t PIXEL_WIDTH = 0xB0;
constexpr std::uint32_t PIXEL_HEIGHT = 0xBA;
constexpr std::uint32_t COLOUR_SPACE = 0x2EB524;
constexpr std::uint32_t AUDIO = 0xE1;
constexpr std::uint32_t SAMPLING_FREQUENCY = 0xB5;
constexpr std::uint32_t CHANNELS = 0x9F;
constexpr std::uint32_t BIT_DEPTH = 0x6264;
constexpr std::uint32_t CLUSTER = 0x1F43B675;
constexpr std::uint32_t TIMESTAMP = 0xE7;
constexpr std::uint32_t SIMPLE_BLOCK = 0xA3;
constexpr std::uint64_t TRACK_TYPE_VIDEO = 1, TRACK_TYPE_AUDIO = 2;

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
        element(EBML, uint_el(EBML_VERSION, 1) + uint_el(EBML_READ_VERSION, 1) +
                          uint_el(EBML_MAX_ID_LENGTH, 4) + uint_el(EBML_MAX_SIZE_LENGTH, 8) +
                          element(DOC_TYPE, "matroska") + uint_el(DOC_TYPE_VERSION, 4) +
                          uint_el(DOC_TYPE_READ_VERSION, 2));
    // A segment of unknown size, as a live stream has.
    std::string segment = id_bytes(SEGMENT) + std::string("\x01\xff\xff\xff\xff\xff\xff\xff", 8);
    std::string info =
        element(INFO, uint_el(TIMESTAMP_SCALE, 1000000) + element(MUXING_APP, "record") +
                          element(WRITING_APP, "record"));
    std::string video =
        element(TRACK_ENTRY,
                uint_el(TRACK_NUMBER, VIDEO_TRACK) + uint_el(TRACK_UID, VIDEO_TRACK) +
                    uint_el(TRACK_TYPE, TRACK_TYPE_VIDEO) + element(CODEC_ID, "V_UNCOMPRESSED") +
                    element(VIDEO, uint_el(PIXEL_WIDTH, static_cast<std::uint64_t>(width)) +
                                       uint_el(PIXEL_HEIGHT, static_cast<std::uint64_t>(height)) +
                                       element(COLOUR_SPACE, "I420")));
    std::string audio =
        element(TRACK_ENTRY,
                uint_el(TRACK_NUMBER, AUDIO_TRACK) + uint_el(TRACK_UID, AUDIO_TRACK) +
                    uint_el(TRACK_TYPE, TRACK_TYPE_AUDIO) + element(CODEC_ID, "A_PCM/INT/LIT") +
                    element(AUDIO, float_el(SAMPLING_FREQUENCY, rate) +
                                       uint_el(CHANNELS, static_cast<std::uint64_t>(channels)) +
                                       uint_el(BIT_DEPTH, 16)));
    return ebml + segment + info + element(TRACKS, video + audio);
}

std::string mkv_block_head(int track, long ms, std::size_t payload) {
    // Track number, a relative time of 0 and the key-frame flag.
    std::string block_head = size_vint(static_cast<std::uint64_t>(track));
    block_head += std::string("\0\0\x80", 3);
    std::string block =
        id_bytes(SIMPLE_BLOCK) + size_vint(block_head.size() + payload) + block_head;
    std::string stamp = uint_el(TIMESTAMP, static_cast<std::uint64_t>(ms));
    return id_bytes(CLUSTER) + size_vint(stamp.size() + block.size() + payload) + stamp + block;
}
