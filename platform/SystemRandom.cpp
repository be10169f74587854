#include "platform/SystemRandom.h"

#include <windows.h>
#include <ntsecapi.h>

#include <cstring>

bool FillSystemRandom(void* bytes, size_t length) {
    if (length <= 0xFFFFFFFFu && RtlGenRandom(bytes, static_cast<ULONG>(length))) return true;
    std::memset(bytes, 0, length);
    return false;
}
