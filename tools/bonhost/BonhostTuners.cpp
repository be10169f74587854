#include "tools/bonhost/BonhostTuners.h"

#include <windows.h>

#include <cstdio>

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

bool ListTuners(std::vector<TunerListing>* listing) {
    const HRESULT com = CoInitialize(nullptr);
    std::vector<DeviceRecord> tuners;
    const bool ok = EnumerateTuners(&tuners);
    if (SUCCEEDED(com)) CoUninitialize();
    if (!ok) return false;
    std::vector<TunerCandidate> candidates;
    for (const DeviceRecord& tuner : tuners)
        candidates.push_back({tuner.FriendlyName.c_str(), tuner.DevicePath.c_str()});
    listing->clear();
    for (size_t i = 0; i < tuners.size(); ++i) {
        TunerListing entry;
        entry.Name = Utf8FromWide(tuners[i].FriendlyName.c_str());
        entry.DevicePath = Utf8FromWide(tuners[i].DevicePath.c_str());
        entry.DeviceId = SelectingDeviceId(candidates.data(), static_cast<int>(candidates.size()),
                                           static_cast<int>(i));
        listing->push_back(entry);
    }
    return true;
}

std::string TunerIniLines(const TunerListing& tuner) {
    if (tuner.DeviceId < 0) return "(no DeviceID selects this tuner)";
    return "INI: TunerFrendlyName=" + tuner.Name + "  DeviceID=" + std::to_string(tuner.DeviceId);
}

int BonhostTuners() {
    std::vector<TunerListing> tuners;
    if (!ListTuners(&tuners)) {
        std::fprintf(stderr, "bonhost: the system device enumerator is not available\n");
        return ExitNoDeviceEnumerator;
    }
    if (tuners.empty()) {
        std::printf("no BDA network tuner found\n");
        return ExitOk;
    }
    for (size_t i = 0; i < tuners.size(); ++i) {
        std::printf("%zu. %s\n   DevicePath: %s\n", i + 1, tuners[i].Name.c_str(),
                    tuners[i].DevicePath.c_str());
        std::printf("   %s\n", TunerIniLines(tuners[i]).c_str());
    }
    return ExitOk;
}
