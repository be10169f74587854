// What a self-test report says about the machine: the Windows version (and
// Wine's, when it runs there), the architecture of the system and of this
// program, and a DLL's version resource.
#pragma once

#include <string>

class SystemDescription {
public:
    // "Windows 10.0.19045" (with " (Wine 8.0)" under Wine).
    static std::string WindowsVersion();
    // "32-bit program on x64 Windows".
    static std::string Architecture();
    // The FileVersion of the DLL's version resource ("1.1.0.0"), or "none".
    static std::string FileVersion(const std::wstring& path);
};
