#include "tools/bonhost/SystemDescription.h"

#include <windows.h>

#include <vector>

namespace {

struct OsVersion {
    ULONG Size, Major, Minor, Build, Platform;
    WCHAR ServicePack[128];
};

const char* ProcessorName(WORD architecture) {
    switch (architecture) {
        case PROCESSOR_ARCHITECTURE_AMD64: return "x64";
        case PROCESSOR_ARCHITECTURE_INTEL: return "x86";
        case PROCESSOR_ARCHITECTURE_ARM64: return "ARM64";
        default: return "unknown";
    }
}

}  // namespace

std::string SystemDescription::WindowsVersion() {
    // GetVersionEx answers what the program's manifest allows; ntdll tells the truth.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    typedef LONG(WINAPI * GetVersionFunction)(OsVersion*);
    typedef const char*(CDECL * WineVersionFunction)();
    auto get = reinterpret_cast<GetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    auto wine = reinterpret_cast<WineVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    OsVersion version{};
    version.Size = sizeof version;
    std::string text = "Windows (version unknown)";
    if (get != nullptr && get(&version) == 0)
        text = "Windows " + std::to_string(version.Major) + "." + std::to_string(version.Minor) +
               "." + std::to_string(version.Build);
    if (wine != nullptr) text += std::string(" (Wine ") + wine() + ")";
    return text;
}

std::string SystemDescription::Architecture() {
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    return std::to_string(sizeof(void*) * 8) + "-bit program on " +
           ProcessorName(system.wProcessorArchitecture) + " Windows";
}

std::string SystemDescription::FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return "none";
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return "none";
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return "none";
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}
