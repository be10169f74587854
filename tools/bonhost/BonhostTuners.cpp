#include "tools/bonhost/BonhostTuners.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "devices/DeviceCategory.h"
#include "devices/TunerMatcher.h"
#include "platform/BdaGuids.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostText.h"

namespace {

// False when the device enumerator itself is missing; an empty category is
// an empty list.
bool EnumerateTuners(std::vector<DeviceRecord>* tuners) {
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid())))
        return false;
    *tuners = DeviceCategory::List(devices.Get(), CategoryBdaNetworkTuner);
    return true;
}

}  // namespace

int BonhostTuners() {
    CoInitialize(nullptr);
    std::vector<DeviceRecord> tuners;
    const bool ok = EnumerateTuners(&tuners);
    CoUninitialize();
    if (!ok) {
        std::fprintf(stderr, "bonhost: the system device enumerator is not available\n");
        return ExitNoDeviceEnumerator;
    }
    if (tuners.empty()) {
        std::printf("no BDA network tuner found\n");
        return ExitOk;
    }
    std::vector<TunerCandidate> candidates;
    for (const DeviceRecord& tuner : tuners)
        candidates.push_back({tuner.FriendlyName.c_str(), tuner.DevicePath.c_str()});
    for (size_t i = 0; i < tuners.size(); ++i) {
        const int id = SelectingDeviceId(candidates.data(), static_cast<int>(candidates.size()),
                                         static_cast<int>(i));
        const std::string name = Utf8FromWide(tuners[i].FriendlyName.c_str());
        std::printf("%zu. %s\n   DevicePath: %s\n", i + 1, name.c_str(),
                    Utf8FromWide(tuners[i].DevicePath.c_str()).c_str());
        if (id >= 0)
            std::printf("   INI: TunerFrendlyName=%s  DeviceID=%d\n", name.c_str(), id);
        else
            std::printf("   (no DeviceID selects this tuner)\n");
    }
    return ExitOk;
}
