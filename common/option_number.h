// The number an option gives, as every tool reads it.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdlib>

// All of `text` as a finite number within [low, high], into `v`.
inline bool option_number(const char *text, double low, double high, double &v) {
    char *end = nullptr;
    errno = 0;
    v = std::strtod(text, &end);
    return *text && !*end && errno == 0 && std::isfinite(v) && v >= low && v <= high;
}
