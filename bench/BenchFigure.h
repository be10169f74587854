// Every figure a benchmark prints goes through PrintFigure, so that each line
// starts with the build it was measured on: "[native]", "[win64]" or
// "[win32]" (BDA_BUILD_TAG, set by the build).
#pragma once

#include <cstdarg>
#include <cstdio>

#ifndef BDA_BUILD_TAG
#define BDA_BUILD_TAG "unknown"
#endif

#if defined(__MINGW_PRINTF_FORMAT)
__attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline void PrintFigure(const char* format, ...) {
    std::printf("[%s] ", BDA_BUILD_TAG);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}
