// A BonDriver plug-in loaded by path, as a host loads it: LoadLibrary,
// CreateBonDriver, and from then on IBonDriver2 only. The destructor
// releases the driver object and unloads the library.
#pragma once

#include <windows.h>

#include <string>

#include "platform/IBonDriver.h"
#include "tools/bonhost/BonhostExitCode.h"

class BonDriverModule {
public:
    enum Result { Loaded = ExitOk, NotFound = ExitDriverNotFound, NoFactory = ExitNoFactory };

    BonDriverModule() = default;
    ~BonDriverModule();
    BonDriverModule(const BonDriverModule&) = delete;
    BonDriverModule& operator=(const BonDriverModule&) = delete;

    // Loads the library and creates the driver object; on failure *error
    // holds a one-line reason.
    Result Load(const std::wstring& path, std::string* error);

    // Releases the driver object and unloads the library (the destructor
    // does it too).
    void Unload();

    // The driver object, owned by this module until its destructor.
    IBonDriver2* Driver() const { return driver_; }
    // The loaded library, for its other exports; owned by this module.
    HMODULE Module() const { return module_; }
    // GetLastError of a LoadLibrary that failed (193: the other architecture).
    DWORD LoadError() const { return loadError_; }

private:
    HMODULE module_ = nullptr;
    DWORD loadError_ = 0;
    IBonDriver2* driver_ = nullptr;
};
