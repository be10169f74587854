#include "sim/SimRegistry.h"

#include <cstdio>

#include "sim/SimClassIds.h"
#include "sim/SimRegistryKey.h"

namespace {

struct ClassEntry {
    const GUID* clsid;
    const wchar_t* name;
};

const ClassEntry kClasses[] = {
    {&CLSID_SimNetworkProvider, L"Tessel Sim Network Provider"},
    {&CLSID_SimNullTerminal, L"Tessel Sim Null Terminal"},
    {&CLSID_SimTunerFilter, L"Tessel Sim Tuner"},
    {&CLSID_SimMpeFilter, L"Tessel Sim MPE Filter"},
    {&CLSID_SimSlipDeFramer, L"Tessel Sim Slip De-Framer"},
    {&CLSID_SimRefusingReceiver, L"Tessel Sim Refusing Receiver"},
    {&CLSID_SimPassThroughReceiver, L"Tessel Sim Pass-Through Receiver"},
};

const wchar_t kUnpluggedRoot[] = L"Software\\TesselSim\\Unplugged";
const wchar_t kInstancePrefix[] = L"{5E5A";
const wchar_t kInstanceSuffix[] = L"-7E55-4E11-9D1C-000000000000}";

std::wstring InstanceRoot(const GUID& category) {
    return L"CLSID\\" + SimRegistry::GuidText(category) + L"\\Instance";
}

bool IsOurInstance(const std::wstring& name) {
    return name.size() == 38 && _wcsnicmp(name.c_str(), kInstancePrefix, 5) == 0 &&
           _wcsicmp(name.c_str() + 9, kInstanceSuffix) == 0;
}

unsigned InstanceOrdinal(const std::wstring& name) {
    return static_cast<unsigned>(wcstoul(name.substr(5, 4).c_str(), nullptr, 16));
}

std::wstring InstanceName(unsigned ordinal) {
    wchar_t digits[8];
    swprintf(digits, 8, L"%04X", ordinal & 0xFFFF);
    return kInstancePrefix + std::wstring(digits) + kInstanceSuffix;
}

// The instances of `category`, with the tuners moved aside among them: an
// unplugged tuner keeps its ordinal and its path.
std::vector<SimDeviceRecord> ListWithUnplugged(const GUID& category) {
    std::vector<SimDeviceRecord> records = SimRegistry::List(category);
    if (IsEqualGUID(category, SimCategoryNetworkTuner))
        for (const SimDeviceRecord& record : SimRegistry::UnpluggedTuners())
            records.push_back(record);
    return records;
}

unsigned NextOrdinal(const GUID& category) {
    unsigned next = 0;
    for (const SimDeviceRecord& record : ListWithUnplugged(category))
        if (IsOurInstance(record.instance) && InstanceOrdinal(record.instance) >= next)
            next = InstanceOrdinal(record.instance) + 1;
    return next;
}

unsigned CountOurs(const GUID& category) {
    unsigned count = 0;
    for (const SimDeviceRecord& record : ListWithUnplugged(category))
        if (IsOurInstance(record.instance)) ++count;
    return count;
}

SimDeviceRecord ReadRecord(const SimRegistryKey& key, const std::wstring& instance) {
    SimDeviceRecord record;
    record.instance = instance;
    key.GetString(L"FriendlyName", &record.friendlyName);
    key.GetString(L"DevicePath", &record.devicePath);
    key.GetString(L"CLSID", &record.clsid);
    return record;
}

// Copies the key `from` (below `fromParent`) with its values to `to` (below
// `toParent`), then deletes the original.
LONG MoveKey(HKEY fromParent, const std::wstring& from, HKEY toParent, const std::wstring& to) {
    SimRegistryKey source;
    LONG result = source.Open(fromParent, from);
    SimRegistryKey target;
    if (result == ERROR_SUCCESS) result = target.Create(toParent, to);
    if (result == ERROR_SUCCESS) result = source.CopyValuesTo(target.Get());
    if (result != ERROR_SUCCESS) {
        if (target.IsOpen()) {
            target.Reset();
            SimRegistryKey::DeleteTree(toParent, to);
        }
        return result;
    }
    source.Reset();
    return SimRegistryKey::DeleteTree(fromParent, from);
}

HRESULT FromWin32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

HRESULT AddReceiver(const wchar_t* name, const GUID& clsid, unsigned ordinal) {
    SimDeviceRecord record;
    record.friendlyName = name;
    wchar_t path[128];
    swprintf(path, 128, L"\\\\?\\root#tesselsim#%04u#{fd0a5af4-b41d-11d2-9c95-00c04f7971e0}",
             ordinal);
    record.devicePath = path;
    record.clsid = SimRegistry::GuidText(clsid);
    return SimRegistry::AddDevice(SimCategoryReceiverComponent, &record);
}

struct ReceiverEntry {
    const wchar_t* name;
    const GUID* clsid;
};

const ReceiverEntry kMpe = {L"BDA MPE Filter", &CLSID_SimMpeFilter};
const ReceiverEntry kSlip = {L"BDA Slip De-Framer", &CLSID_SimSlipDeFramer};
const ReceiverEntry kRefusing = {L"Tessel Sim Refusing Receiver", &CLSID_SimRefusingReceiver};
const ReceiverEntry kPassThrough = {L"Tessel Sim Pass-Through Receiver",
                                   &CLSID_SimPassThroughReceiver};

bool ScenarioReceivers(const std::wstring& scenario, std::vector<ReceiverEntry>* entries) {
    if (scenario == L"none") *entries = {};
    else if (scenario == L"skipped-only") *entries = {kMpe, kSlip};
    else if (scenario == L"never-connects") *entries = {kRefusing};
    else if (scenario == L"pass-through") *entries = {kPassThrough};
    else if (scenario == L"several") *entries = {kRefusing, kPassThrough};
    else if (scenario == L"skipped-then-pass-through") *entries = {kMpe, kSlip, kPassThrough};
    else if (scenario == L"all") *entries = {kMpe, kSlip, kRefusing, kPassThrough};
    else return false;
    return true;
}

}  // namespace

const wchar_t* SimRegistry::DefaultTunerName() { return L"Tessel Sim ISDB Tuner"; }

const wchar_t* SimRegistry::DefaultPathTemplate() {
    return L"\\\\?\\usb#vid_0511&pid_0045#{id}#{fd0a5af4-b41d-11d2-9c95-00c04f7971e0}";
}

std::wstring SimRegistry::GuidText(const GUID& guid) {
    wchar_t text[40];
    swprintf(text, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
             guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
             guid.Data4[6], guid.Data4[7]);
    return text;
}

std::wstring SimRegistry::TunerInstanceId(unsigned ordinal) {
    wchar_t text[16];
    swprintf(text, 16, L"%08x", 0x5a1c0000u + ordinal);
    return text;
}

std::wstring SimRegistry::ExpandTemplate(const std::wstring& pathTemplate, unsigned ordinal) {
    std::wstring path = pathTemplate;
    const std::wstring id = TunerInstanceId(ordinal);
    const std::wstring number = std::to_wstring(ordinal);
    for (size_t at; (at = path.find(L"{id}")) != std::wstring::npos;) path.replace(at, 4, id);
    for (size_t at; (at = path.find(L"{n}")) != std::wstring::npos;) path.replace(at, 3, number);
    return path;
}

HRESULT SimRegistry::RegisterServer(const std::wstring& dllPath) {
    for (const ClassEntry& entry : kClasses) {
        const std::wstring root = L"CLSID\\" + GuidText(*entry.clsid);
        SimRegistryKey key;
        LONG result = key.Create(HKEY_CLASSES_ROOT, root);
        if (result == ERROR_SUCCESS) result = key.SetString(nullptr, entry.name);
        SimRegistryKey server;
        if (result == ERROR_SUCCESS) result = server.Create(key.Get(), L"InprocServer32");
        if (result == ERROR_SUCCESS) result = server.SetString(nullptr, dllPath);
        if (result == ERROR_SUCCESS) result = server.SetString(L"ThreadingModel", L"Both");
        if (result != ERROR_SUCCESS) return FromWin32(result);
    }
    return S_OK;
}

HRESULT SimRegistry::SetThreadingModel(const std::wstring& model) {
    if (model != L"Apartment" && model != L"Both") return E_INVALIDARG;
    for (const ClassEntry& entry : kClasses) {
        SimRegistryKey server;
        LONG result = server.Open(HKEY_CLASSES_ROOT,
                                  L"CLSID\\" + GuidText(*entry.clsid) + L"\\InprocServer32",
                                  KEY_READ | KEY_SET_VALUE);
        if (result == ERROR_SUCCESS) result = server.SetString(L"ThreadingModel", model);
        if (result != ERROR_SUCCESS) return FromWin32(result);
    }
    return S_OK;
}

HRESULT SimRegistry::UnregisterServer() {
    HRESULT hr = Clear();
    for (const ClassEntry& entry : kClasses) {
        const LONG result =
            SimRegistryKey::DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(*entry.clsid));
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND && SUCCEEDED(hr))
            hr = FromWin32(result);
    }
    return hr;
}

HRESULT SimRegistry::AddDevice(const GUID& category, SimDeviceRecord* record) {
    record->instance = InstanceName(NextOrdinal(category));
    SimRegistryKey key;
    LONG result = key.Create(HKEY_CLASSES_ROOT, InstanceRoot(category) + L"\\" + record->instance);
    if (result == ERROR_SUCCESS) result = key.SetString(L"FriendlyName", record->friendlyName);
    if (result == ERROR_SUCCESS) result = key.SetString(L"DevicePath", record->devicePath);
    if (result == ERROR_SUCCESS) result = key.SetString(L"CLSID", record->clsid);
    return FromWin32(result);
}

HRESULT SimRegistry::AddTuners(unsigned count, const std::wstring& name,
                               const std::wstring& pathTemplate,
                               std::vector<SimDeviceRecord>* added) {
    const unsigned first = CountOurs(SimCategoryNetworkTuner);
    for (unsigned i = 0; i < count; ++i) {
        SimDeviceRecord record;
        record.friendlyName = name;
        record.devicePath = ExpandTemplate(pathTemplate, first + i);
        record.clsid = GuidText(CLSID_SimTunerFilter);
        const HRESULT hr = AddDevice(SimCategoryNetworkTuner, &record);
        if (FAILED(hr)) return hr;
        if (added != nullptr) added->push_back(record);
    }
    return S_OK;
}

std::vector<std::wstring> SimRegistry::ReceiverScenarios() {
    return {L"none", L"skipped-only", L"never-connects", L"pass-through",
            L"several", L"skipped-then-pass-through", L"all"};
}

HRESULT SimRegistry::SetReceiverScenario(const std::wstring& scenario) {
    std::vector<ReceiverEntry> entries;
    if (!ScenarioReceivers(scenario, &entries)) return E_INVALIDARG;
    HRESULT hr = ClearCategory(SimCategoryReceiverComponent);
    unsigned ordinal = 0;
    for (const ReceiverEntry& entry : entries) {
        if (FAILED(hr)) break;
        hr = AddReceiver(entry.name, *entry.clsid, ordinal++);
    }
    return hr;
}

std::vector<SimDeviceRecord> SimRegistry::List(const GUID& category) {
    std::vector<SimDeviceRecord> records;
    SimRegistryKey root;
    if (root.Open(HKEY_CLASSES_ROOT, InstanceRoot(category)) != ERROR_SUCCESS) return records;
    for (const std::wstring& name : root.SubkeyNames()) {
        SimRegistryKey key;
        if (key.Open(root.Get(), name) != ERROR_SUCCESS) continue;
        records.push_back(ReadRecord(key, name));
    }
    return records;
}

HRESULT SimRegistry::ClearCategory(const GUID& category) {
    const std::wstring root = InstanceRoot(category);
    for (const SimDeviceRecord& record : List(category)) {
        if (!IsOurInstance(record.instance)) continue;
        const LONG result = SimRegistryKey::DeleteTree(HKEY_CLASSES_ROOT, root + L"\\" + record.instance);
        if (result != ERROR_SUCCESS) return FromWin32(result);
    }
    if (!IsEqualGUID(category, SimCategoryNetworkTuner)) return S_OK;
    for (const SimDeviceRecord& record : UnpluggedTuners()) {
        if (!IsOurInstance(record.instance)) continue;
        const LONG result = SimRegistryKey::DeleteTree(
            HKEY_CURRENT_USER, std::wstring(kUnpluggedRoot) + L"\\" + record.instance);
        if (result != ERROR_SUCCESS) return FromWin32(result);
    }
    return S_OK;
}

HRESULT SimRegistry::UnplugTuner(const std::wstring& devicePath, SimDeviceRecord* moved) {
    for (const SimDeviceRecord& record : List(SimCategoryNetworkTuner)) {
        if (record.devicePath != devicePath) continue;
        const LONG result =
            MoveKey(HKEY_CLASSES_ROOT, InstanceRoot(SimCategoryNetworkTuner) + L"\\" + record.instance,
                    HKEY_CURRENT_USER, std::wstring(kUnpluggedRoot) + L"\\" + record.instance);
        if (result != ERROR_SUCCESS) return FromWin32(result);
        if (moved != nullptr) *moved = record;
        return S_OK;
    }
    return S_FALSE;
}

HRESULT SimRegistry::ReplugTuner(const std::wstring& devicePath, SimDeviceRecord* restored) {
    for (const SimDeviceRecord& record : UnpluggedTuners()) {
        if (record.devicePath != devicePath) continue;
        const LONG result =
            MoveKey(HKEY_CURRENT_USER, std::wstring(kUnpluggedRoot) + L"\\" + record.instance,
                    HKEY_CLASSES_ROOT, InstanceRoot(SimCategoryNetworkTuner) + L"\\" + record.instance);
        if (result != ERROR_SUCCESS) return FromWin32(result);
        if (restored != nullptr) *restored = record;
        return S_OK;
    }
    return S_FALSE;
}

std::vector<SimDeviceRecord> SimRegistry::UnpluggedTuners() {
    std::vector<SimDeviceRecord> records;
    SimRegistryKey root;
    if (root.Open(HKEY_CURRENT_USER, kUnpluggedRoot) != ERROR_SUCCESS) return records;
    for (const std::wstring& name : root.SubkeyNames()) {
        SimRegistryKey key;
        if (key.Open(root.Get(), name) != ERROR_SUCCESS) continue;
        records.push_back(ReadRecord(key, name));
    }
    return records;
}

HRESULT SimRegistry::ReplugAllTuners() {
    for (const SimDeviceRecord& record : UnpluggedTuners()) {
        const HRESULT hr = ReplugTuner(record.devicePath, nullptr);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT SimRegistry::Clear() {
    const HRESULT hr = ClearCategory(SimCategoryNetworkTuner);
    return FAILED(hr) ? hr : ClearCategory(SimCategoryReceiverComponent);
}
