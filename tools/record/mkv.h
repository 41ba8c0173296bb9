// Just enough Matroska to hand ffmpeg raw pictures and sound through a pipe
// with a time stamp on each: track 1 planar YUV 4:2:0 pictures, track 2
// 16-bit little-endian PCM. Times are milliseconds.
#pragma once

#include <cstddef>
#include <string>

constexpr int VIDEO_TRACK = 1;
constexpr int AUDIO_TRACK = 2;

// The stream's head: EBML header, a segment of unknown size, its info and tracks.
std::string mkv_header(int width, int height, int rate, int channels);
// The bytes that go before `payload` bytes of one frame or sound chunk: a
// cluster of its own stamped `ms`, holding one key-frame block.
std::string mkv_block_head(int track, long ms, std::size_t payload);
