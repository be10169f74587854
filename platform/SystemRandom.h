// The system's random source (RtlGenRandom), for keys a process draws once
// and keeps to itself. Windows only.
#pragma once

#include <cstddef>

// Fills `length` bytes at `bytes`; false (and the bytes zeroed) when the
// system gives none.
bool FillSystemRandom(void* bytes, size_t length);
