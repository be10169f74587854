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
