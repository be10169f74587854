// The one trace hook. Debug builds (BDA_TRACE defined) send each text with its
// values to the debugger output; release builds compile every call away.
#pragma once

#include <cstdint>

#ifdef BDA_TRACE
void TraceWrite(const char* text, int valueCount, int64_t v1, int64_t v2, int64_t v3);
// The text followed by "result 0x%08X" of a 32-bit result code.
void TraceWriteResult(const char* text, int32_t result);
inline void Trace(const char* text) { TraceWrite(text, 0, 0, 0, 0); }
inline void Trace(const char* text, int64_t v1) { TraceWrite(text, 1, v1, 0, 0); }
inline void Trace(const char* text, int64_t v1, int64_t v2) { TraceWrite(text, 2, v1, v2, 0); }
inline void Trace(const char* text, int64_t v1, int64_t v2, int64_t v3) {
    TraceWrite(text, 3, v1, v2, v3);
}
// A failure: the documented text with the result code that made it fail.
inline void TraceFailure(const char* text, int32_t result) { TraceWriteResult(text, result); }
// A line of any length, as it is (a device call with a card answer runs to
// a kilobyte).
void TraceLine(const char* text);
#else
inline void Trace(const char*) {}
inline void Trace(const char*, int64_t) {}
inline void Trace(const char*, int64_t, int64_t) {}
inline void Trace(const char*, int64_t, int64_t, int64_t) {}
inline void TraceFailure(const char*, int32_t) {}
inline void TraceLine(const char*) {}
#endif
