// The number a tuner's DevicePath carries for the INI's "DeviceID": the
// field between the first two "#" that follow the first character of the set
// "vid_0511&pid_", cut to 16 units and parsed as a signed 64-bit base-16
// number. The cut follows the installed base's rule literally, even where it
// lands oddly, because existing INI files depend on it.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

// The number of `devicePath` into *number; false when the path has no such
// field. Never reads past `capacity` units or the terminator.
bool DevicePathNumber(const WideChar* devicePath, size_t capacity, int64_t* number);

// Parses up to the terminator like wcstoll(text, nullptr, 16) in the C locale:
// ASCII white space, sign, optional 0x/0X, ASCII hex digits, saturating at
// INT64_MAX / INT64_MIN. A null text reads as 0.
int64_t ParseHex64(const WideChar* text);
