#include "platform/Trace.h"

#ifdef BDA_TRACE
#include <cstdio>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {
void Emit(const char* line) {
#ifdef _WIN32
    OutputDebugStringA(line);
#else
    std::fputs(line, stderr);
#endif
}
}  // namespace

void TraceWrite(const char* text, int valueCount, int64_t v1, int64_t v2, int64_t v3) {
    char line[512];
    const long long values[3] = {v1, v2, v3};
    int used = std::snprintf(line, sizeof line, "%s", text);
    for (int i = 0; i < valueCount && used > 0 && used < (int)sizeof line; ++i) {
        used += std::snprintf(line + used, sizeof line - used, " %lld (0x%llX)", values[i],
                              (unsigned long long)values[i]);
    }
    if (used > 0 && used < (int)sizeof line - 1) {
        line[used] = '\n';
        line[used + 1] = 0;
    }
    Emit(line);
}

void TraceLine(const char* text) {
    std::string line(text);
    line += '\n';
    Emit(line.c_str());
}

void TraceWriteResult(const char* text, int32_t result) {
    char line[512];
    std::snprintf(line, sizeof line, "%s result 0x%08X\n", text, static_cast<unsigned>(result));
    Emit(line);
}
#endif
