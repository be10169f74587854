#include "devices/DeviceCategory.h"

#include "devices/DeviceNames.h"
#include "platform/WideText.h"

DeviceCategory::OpenResult DeviceCategory::Open(ICreateDevEnum* devices, const GUID& category) {
    monikers_.Reset();
    if (devices == nullptr ||
        devices->CreateClassEnumerator(category, monikers_.Receive(), 0) != S_OK) {
        monikers_.Reset();
        return OpenResult::NoClassEnumerator;
    }
    return monikers_.Get() != nullptr ? OpenResult::Opened : OpenResult::NullEnumerator;
}

bool DeviceCategory::Next(ComPtr<IMoniker>* moniker) {
    moniker->Reset();
    if (monikers_.Get() == nullptr || monikers_->Next(1, moniker->Receive(), nullptr) != S_OK) {
        moniker->Reset();
        return false;
    }
    return moniker->Get() != nullptr;
}

bool DeviceCategory::Skip(uint16_t index, ComPtr<IMoniker>* moniker) {
    uint16_t number = 0;
    while (Next(moniker))
        if (++number == index) return true;
    return false;
}

bool DeviceCategory::Find(const WideChar* friendlyName, const WideChar* devicePath,
                          ComPtr<IMoniker>* moniker, DeviceText* readName) {
    while (Next(moniker)) {
        DeviceProperties properties;
        DeviceText name, path;
        if (!properties.Bind(moniker->Get()) || !properties.Read(FriendlyNameProperty, &name) ||
            !WideEqualN(name.c_str(), friendlyName, DeviceNameCapacity))
            continue;
        if (!properties.Read(DevicePathProperty, &path) ||
            !WideEqualN(path.c_str(), devicePath, DeviceNameCapacity))
            continue;
        *readName = name;
        return true;
    }
    return false;
}

DeviceRecord DeviceCategory::ReadNames(IMoniker* moniker) {
    DeviceRecord record;
    DeviceProperties properties;
    if (!properties.Bind(moniker)) return record;
    record.FriendlyNameRead = properties.Read(FriendlyNameProperty, &record.FriendlyName);
    record.DevicePathRead = properties.Read(DevicePathProperty, &record.DevicePath);
    return record;
}

std::vector<DeviceRecord> DeviceCategory::List(ICreateDevEnum* devices, const GUID& category) {
    std::vector<DeviceRecord> records;
    DeviceCategory walk;
    if (walk.Open(devices, category) != OpenResult::Opened) return records;
    for (ComPtr<IMoniker> moniker; walk.Next(&moniker);) records.push_back(ReadNames(moniker.Get()));
    return records;
}
