#include "tools/bonhost/BonhostTuners.h"

#include <windows.h>
#include <oleauto.h>
#include <strmif.h>
#include <uuids.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dshow/ComPtr.h"
#include "driver/TunerMatcher.h"
#include "graph/MyFilterGraph.h"
#include "tools/bonhost/BonhostText.h"

namespace {

struct TunerEntry {
    std::wstring Name;
    std::wstring Path;
};

std::wstring ReadBagText(IPropertyBag* bag, const wchar_t* property) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    std::wstring text;
    if (SUCCEEDED(bag->Read(property, &value, nullptr)) && value.vt == VT_BSTR &&
        value.bstrVal != nullptr)
        text = value.bstrVal;
    VariantClear(&value);
    return text;
}

// False when the device enumerator itself is missing; an empty category is
// an empty list.
bool EnumerateTuners(std::vector<TunerEntry>* tuners) {
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid())))
        return false;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CategoryBdaNetworkTuner, monikers.Receive(), 0) != S_OK ||
        !monikers)
        return true;
    for (;;) {
        ComPtr<IMoniker> moniker;
        if (monikers->Next(1, moniker.Receive(), nullptr) != S_OK) break;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid())))
            continue;
        tuners->push_back({ReadBagText(bag.Get(), L"FriendlyName"), ReadBagText(bag.Get(), L"DevicePath")});
    }
    return true;
}

// The DeviceID that selects tuner `index`, or -1 when none can: the path has
// no instance field, or an earlier tuner of the same name takes the same id
// (the driver picks the first match).
int SelectingDeviceId(const std::vector<TunerEntry>& tuners, size_t index) {
    int64_t number = 0;
    const TunerEntry& tuner = tuners[index];
    if (tuner.Name.empty() ||
        !DevicePathNumber(tuner.Path.c_str(), DeviceNameCapacity, &number))
        return -1;
    uint32_t id = static_cast<uint32_t>(number & 0xF);
    for (size_t earlier = 0; earlier < index; ++earlier) {
        if (TunerMatches(tuners[earlier].Name.c_str(), tuners[earlier].Path.c_str(),
                         tuner.Name.c_str(), id))
            return -1;
    }
    return static_cast<int>(id);
}

}  // namespace

int BonhostTuners() {
    CoInitialize(nullptr);
    std::vector<TunerEntry> tuners;
    bool ok = EnumerateTuners(&tuners);
    CoUninitialize();
    if (!ok) {
        std::fprintf(stderr, "bonhost: the system device enumerator is not available\n");
        return 7;
    }
    if (tuners.empty()) {
        std::printf("no BDA network tuner found\n");
        return 0;
    }
    for (size_t i = 0; i < tuners.size(); ++i) {
        int id = SelectingDeviceId(tuners, i);
        std::printf("%zu. %s\n   DevicePath: %s\n", i + 1, Utf8FromWide(tuners[i].Name.c_str()).c_str(),
                    Utf8FromWide(tuners[i].Path.c_str()).c_str());
        if (id >= 0)
            std::printf("   INI: TunerFrendlyName=%s  DeviceID=%d\n",
                        Utf8FromWide(tuners[i].Name.c_str()).c_str(), id);
        else
            std::printf("   (no DeviceID selects this tuner)\n");
    }
    return 0;
}
