// Which enumerated BDA network tuner the INI names: the FriendlyName must
// equal the configured one exactly, and the low four bits of the DevicePath's
// number (devices/DevicePath.h) must equal "DeviceID".
#include "devices/TunerMatcher.h"

#include "devices/DeviceNames.h"
#include "devices/DevicePath.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

namespace {
constexpr int64_t DeviceIdBits = 0xF;  // "DeviceID" names the low four bits
}  // namespace

bool TunerMatches(const WideChar* friendlyName, const WideChar* devicePath,
                  const WideChar* configuredName, uint32_t configuredDeviceId) {
    if (friendlyName == nullptr || configuredName == nullptr || devicePath == nullptr)
        return false;
    if (friendlyName[0] == 0 || !WideEqualN(friendlyName, configuredName, DeviceNameCapacity))
        return false;
    if (devicePath[0] == 0) return false;
    int64_t number = 0;
    if (!DevicePathNumber(devicePath, DeviceNameCapacity, &number)) return false;
    return static_cast<uint32_t>(number & DeviceIdBits) == configuredDeviceId;
}

int SelectTuner(const TunerCandidate* candidates, int count, const WideChar* configuredName,
                uint32_t configuredDeviceId) {
    if (candidates == nullptr) return -1;
    for (int i = 0; i < count; ++i) {
        if (TunerMatches(candidates[i].FriendlyName, candidates[i].DevicePath, configuredName,
                         configuredDeviceId)) {
            Trace("(SelectTuner) matched tuner", i, configuredDeviceId);
            return i;
        }
    }
    Trace("(SelectTuner) no tuner matched", count, configuredDeviceId);
    return -1;
}

int SelectingDeviceId(const TunerCandidate* candidates, int count, int index) {
    if (candidates == nullptr || index < 0 || index >= count) return -1;
    const TunerCandidate& tuner = candidates[index];
    int64_t number = 0;
    if (tuner.FriendlyName == nullptr || tuner.FriendlyName[0] == 0 ||
        !DevicePathNumber(tuner.DevicePath, DeviceNameCapacity, &number))
        return -1;
    const uint32_t id = static_cast<uint32_t>(number & DeviceIdBits);
    return SelectTuner(candidates, index, tuner.FriendlyName, id) >= 0 ? -1
                                                                        : static_cast<int>(id);
}
