// Tuner selection rules: which enumerated BDA network tuner the INI names.
// A device matches when its FriendlyName equals the configured one exactly and
// the low four bits of a number read from its DevicePath equal "DeviceID".
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

constexpr size_t DeviceNameCapacity = 256;  // units, terminator included

// The number taken from a DevicePath: the field between the first two "#"
// that follow the first character of the set "vid_0511&pid_", cut to 16
// units and parsed as a signed 64-bit base-16 number (C library rules, with
// saturation). Returns false when the path has no such field. Never reads
// past `capacity` units or the terminator.
bool DevicePathNumber(const WideChar* devicePath, size_t capacity, int64_t* number);

// Parses up to the terminator like wcstoll(text, nullptr, 16) in the C locale:
// ASCII white space, sign, optional 0x/0X, ASCII hex digits, saturating at
// INT64_MAX / INT64_MIN. A null text reads as 0.
int64_t ParseHex64(const WideChar* text);

// True when (friendlyName, devicePath) passes every selection test. Both are
// read as 256-unit buffers; null texts never match. Nothing is retained.
bool TunerMatches(const WideChar* friendlyName, const WideChar* devicePath,
                  const WideChar* configuredName, uint32_t configuredDeviceId);

struct TunerCandidate {
    const WideChar* FriendlyName;
    const WideChar* DevicePath;
};

// Index of the first candidate, in enumeration order, that matches; -1 if none.
// The candidates stay the caller's.
int SelectTuner(const TunerCandidate* candidates, int count, const WideChar* configuredName,
                uint32_t configuredDeviceId);
