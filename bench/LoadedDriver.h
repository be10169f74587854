// The driver as a host has it: the DLL copied into a folder of its own beside
// its INI (ISDB-T, the simulated tuner's name and DeviceID), loaded by path
// and created through CreateBonDriver. Hosts that keep several tuners open
// load renamed copies (`dllBase`), each with its own INI.
#pragma once

#include <windows.h>

#include <string>

#include "platform/IBonDriver.h"

class LoadedDriver {
public:
    // `extraKey` ("StallSeconds=2", may be empty) goes into the INI too.
    LoadedDriver(const wchar_t* driverDllPath, const wchar_t* tunerName,
                 const std::wstring& deviceId,
                 const std::wstring& dllBase = L"BonDriver_TesselBDA",
                 const std::wstring& extraKey = std::wstring());
    // Releases the driver, unloads the DLL and removes the folder.
    ~LoadedDriver();
    LoadedDriver(const LoadedDriver&) = delete;
    LoadedDriver& operator=(const LoadedDriver&) = delete;

    // Owned by this object until it is destroyed; null when loading failed.
    IBonDriver2* Get() const { return driver_; }

private:
    std::wstring folder_;
    std::wstring base_;
    HMODULE module_ = nullptr;
    IBonDriver2* driver_ = nullptr;
};
