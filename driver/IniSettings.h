// The INI file beside the library: its path and the private-profile reads of
// the section "FRONTEND". A missing file or key yields the defaults.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

class IniSettings {
public:
    // Fills `path` (cleared first, `capacity` units) with the module's file
    // path whose last three characters are replaced by "ini".
    static void PathBesideModule(HMODULE module, WideChar* path, size_t capacity);

    // "DeviceID", default 0, as the platform's integer reader reads it.
    static int32_t ReadDeviceId(const WideChar* iniPath);

    // A whole number from `low` to `high` written in decimal digits only;
    // anything else (missing, empty, other characters, out of range) gives
    // `fallback`.
    static uint32_t ReadBounded(const WideChar* iniPath, const WideChar* key, uint32_t low,
                                uint32_t high, uint32_t fallback);

    // A text key, default empty; `value` (cleared first) holds `capacity`
    // units including the terminator.
    static void ReadText(const WideChar* iniPath, const WideChar* key, WideChar* value,
                         size_t capacity);
};
