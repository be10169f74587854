#include "bench/LoadedDriver.h"

namespace {

std::wstring NewFolder() {
    static int count = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"driverbench_" +
                          std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++count);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

LoadedDriver::LoadedDriver(const wchar_t* driverDllPath, const wchar_t* tunerName,
                           const std::wstring& deviceId, const std::wstring& dllBase,
                           const std::wstring& extraKey)
    : folder_(NewFolder()), base_(folder_ + L"\\" + dllBase) {
    const std::wstring dll = base_ + L".dll";
    if (!CopyFileW(driverDllPath, dll.c_str(), FALSE)) return;
    const std::wstring ini = base_ + L".ini";
    WritePrivateProfileStringW(L"FRONTEND", L"NetworkName", L"ISDBT", ini.c_str());
    WritePrivateProfileStringW(L"FRONTEND", L"TunerFrendlyName", tunerName, ini.c_str());
    WritePrivateProfileStringW(L"FRONTEND", L"DeviceID", deviceId.c_str(), ini.c_str());
    const size_t equals = extraKey.find(L'=');
    if (equals != std::wstring::npos)
        WritePrivateProfileStringW(L"FRONTEND", extraKey.substr(0, equals).c_str(),
                                   extraKey.substr(equals + 1).c_str(), ini.c_str());
    module_ = LoadLibraryW(dll.c_str());
    if (module_ == nullptr) return;
    auto create = reinterpret_cast<IBonDriver* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateBonDriver")));
    if (create != nullptr) driver_ = static_cast<IBonDriver2*>(create());
}

LoadedDriver::~LoadedDriver() {
    if (driver_ != nullptr) driver_->Release();
    if (module_ != nullptr) FreeLibrary(module_);
    DeleteFileW((base_ + L".ini").c_str());
    DeleteFileW((base_ + L".dll").c_str());
    RemoveDirectoryW(folder_.c_str());
}
