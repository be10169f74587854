// Tuner selection rules: which enumerated BDA network tuner the INI names.
// A device matches when its FriendlyName equals the configured one exactly and
// the low four bits of the number in its DevicePath equal "DeviceID".
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

// True when (friendlyName, devicePath) passes every selection test. Both are
// read as DeviceNameCapacity-unit buffers; null texts never match. Nothing is
// retained.
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

// The "DeviceID" that selects candidate `index`, or -1 when none can: its
// path has no number field, or an earlier candidate of the same name is
// selected by the same DeviceID (the driver takes the first match).
int SelectingDeviceId(const TunerCandidate* candidates, int count, int index);
