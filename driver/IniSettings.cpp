#include "driver/IniSettings.h"

#include <cstring>

namespace {
const WideChar Section[] = WIDE("FRONTEND");
}

void IniSettings::PathBesideModule(HMODULE module, WideChar* path, size_t capacity) {
    std::memset(path, 0, capacity * sizeof(WideChar));
    DWORD length = GetModuleFileNameW(module, path, static_cast<DWORD>(capacity - 1));
    if (length >= capacity) length = static_cast<DWORD>(capacity - 1);
    path[length] = 0;
    if (length < 3) return;
    path[length - 3] = L'i';
    path[length - 2] = L'n';
    path[length - 1] = L'i';
}

int32_t IniSettings::ReadDeviceId(const WideChar* iniPath) {
    return static_cast<int32_t>(GetPrivateProfileIntW(Section, WIDE("DeviceID"), 0, iniPath));
}

void IniSettings::ReadText(const WideChar* iniPath, const WideChar* key, WideChar* value,
                           size_t capacity) {
    std::memset(value, 0, capacity * sizeof(WideChar));
    GetPrivateProfileStringW(Section, key, WIDE(""), value, static_cast<DWORD>(capacity), iniPath);
}

uint32_t IniSettings::ReadBounded(const WideChar* iniPath, const WideChar* key, uint32_t low,
                                  uint32_t high, uint32_t fallback) {
    WideChar text[16];
    ReadText(iniPath, key, text, sizeof text / sizeof text[0]);
    uint64_t value = 0;
    size_t digits = 0;
    for (; text[digits] != 0; ++digits) {
        if (text[digits] < L'0' || text[digits] > L'9' || digits >= 9) return fallback;
        value = value * 10 + static_cast<uint64_t>(text[digits] - L'0');
    }
    return digits != 0 && value >= low && value <= high ? static_cast<uint32_t>(value) : fallback;
}
