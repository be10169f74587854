// The one argument the soaks take: `--minutes M`.
#pragma once

#include <cstdlib>
#include <cstring>

// M of `--minutes M`, `fallback` without arguments, or a negative number when
// the arguments are not understood.
inline double MinutesArgument(int argc, char** argv, double fallback) {
    if (argc == 1) return fallback;
    if (argc != 3 || std::strcmp(argv[1], "--minutes") != 0) return -1.0;
    char* end = nullptr;
    const double minutes = std::strtod(argv[2], &end);
    return end != argv[2] && *end == '\0' && minutes > 0.0 ? minutes : -1.0;
}
