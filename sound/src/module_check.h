// Checks on a module file's bytes that the sound library makes before the
// player sees them.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// What a file of this mode is, in words for a message ("a FIFO").
const char *file_kind(mode_t mode);

// Why these bytes are no module the show can play, in words for a message
// after the file's name, or empty when the player may try them: a packed file
// (gzip, bzip2, xz, zstd, compress or zip) is refused unread, and an XM module
// cut short of what its own headers say it holds is refused, since the player
// would play the missing patterns and samples as silence without a word.
std::string module_fault(const unsigned char *data, std::size_t size);

// What xm_declared_size gives for a module cut inside its headers.
constexpr unsigned long long XM_HEADERS_CUT = ~0ULL;

// The length an XM module's headers give it (its header, every pattern,
// every instrument with its samples), or 0 when the bytes are no XM module of
// the version the show's are written in, or one of more patterns, instruments
// or samples than the format allows (the player judges those).
unsigned long long xm_declared_size(const unsigned char *data, std::size_t size);
