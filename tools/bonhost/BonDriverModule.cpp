#include "tools/bonhost/BonDriverModule.h"

#include "tools/bonhost/BonhostText.h"

BonDriverModule::~BonDriverModule() { Unload(); }

void BonDriverModule::Unload() {
    if (driver_ != nullptr) driver_->Release();
    driver_ = nullptr;
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

BonDriverModule::Result BonDriverModule::Load(const std::wstring& path, std::string* error) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *error = "driver not found: " + Utf8FromWide(path.c_str());
        return NotFound;
    }
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) {
        loadError_ = GetLastError();
        *error = "driver not found: cannot load " + Utf8FromWide(path.c_str()) + " (error " +
                 std::to_string(loadError_) + ")";
        return NotFound;
    }
    typedef IBonDriver* (*CreateFunction)();
    CreateFunction create =
        reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "CreateBonDriver")));
    if (create == nullptr) {
        *error = "no CreateBonDriver in " + Utf8FromWide(path.c_str());
        return NoFactory;
    }
    // Every BonDriver2 plug-in's object is an IBonDriver2; hosts rely on it.
    driver_ = static_cast<IBonDriver2*>(create());
    if (driver_ == nullptr) {
        *error = "CreateBonDriver returned no driver object";
        return NoFactory;
    }
    return Loaded;
}
