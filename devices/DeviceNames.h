// Names of a DirectShow device as its property bag gives them: the
// "FriendlyName" shown to users and the "DevicePath" that tells devices of
// the same name apart. Every buffer that holds one has this capacity.
#pragma once

#include <cstddef>

#include "platform/PlatformTypes.h"

constexpr size_t DeviceNameCapacity = 256;  // UTF-16 units, terminator included

// What a name that cannot be read reads as.
constexpr const WideChar* UnknownDeviceName = WIDE("Unknown !");
