// The property bag of one device moniker, read as text: "FriendlyName" and
// "DevicePath" are what the driver and the tools tell devices apart by.
#pragma once

#include <strmif.h>

#include <string>

#include "dshow/ComPtr.h"
#include "platform/PlatformTypes.h"

using DeviceText = std::basic_string<WideChar>;

constexpr const WideChar* FriendlyNameProperty = WIDE("FriendlyName");
constexpr const WideChar* DevicePathProperty = WIDE("DevicePath");

class DeviceProperties {
public:
    // Binds the moniker's property bag; false when that fails or yields none.
    bool Bind(IMoniker* moniker);
    // Reads the string property `name` into *value; false (value untouched)
    // when the read fails.
    bool Read(const WideChar* name, DeviceText* value) const;

private:
    ComPtr<IPropertyBag> bag_;
};
