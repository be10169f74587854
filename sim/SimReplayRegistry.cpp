#include "sim/SimReplayRegistry.h"

#include "platform/FileText.h"
#include "sim/SimClassIds.h"
#include "sim/SimRegistry.h"
#include "sim/SimRegistryKey.h"
#include "sim/SimReplayPlan.h"
#include "sim/SimSourceRegistry.h"

namespace {

const wchar_t kKeyPath[] = L"Software\\TesselSim\\Replay";
const wchar_t kValue[] = L"DeviceCalls";
const wchar_t kBefore[] = L"Software\\TesselSim\\Replay\\Before";
const wchar_t kBeforeTuners[] = L"Software\\TesselSim\\Replay\\Before\\Tuners";
const wchar_t kBeforeChannels[] = L"Software\\TesselSim\\Replay\\Before\\Channels";
const wchar_t kChannels[] = L"Software\\TesselSim\\Channels";

HRESULT FromWin32(LONG result) { return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result); }

// The simulated tuners, plugged or not.
std::vector<SimDeviceRecord> SimulatedTuners() {
    std::vector<SimDeviceRecord> tuners;
    const std::wstring ours = SimRegistry::GuidText(CLSID_SimTunerFilter);
    for (const SimDeviceRecord& record : SimRegistry::List(SimCategoryNetworkTuner))
        if (record.clsid == ours) tuners.push_back(record);
    for (const SimDeviceRecord& record : SimRegistry::UnpluggedTuners()) tuners.push_back(record);
    return tuners;
}

// Copies the values of `from` (which may be missing) into `to`, created.
LONG CopyKey(const wchar_t* from, const wchar_t* to) {
    SimRegistryKey target;
    LONG result = target.Create(HKEY_CURRENT_USER, to);
    SimRegistryKey source;
    if (result == ERROR_SUCCESS && source.Open(HKEY_CURRENT_USER, from) == ERROR_SUCCESS)
        result = source.CopyValuesTo(target.Get());
    return result;
}

}  // namespace

HRESULT SimReplayRegistry::Set(const std::wstring& deviceCalls) {
    SimRegistryKey key;
    LONG result = key.Create(HKEY_CURRENT_USER, kKeyPath);
    if (result == ERROR_SUCCESS) result = key.SetString(kValue, deviceCalls);
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT SimReplayRegistry::Clear() {
    const LONG result = SimRegistryKey::DeleteTree(HKEY_CURRENT_USER, kKeyPath);
    if (result == ERROR_FILE_NOT_FOUND) return S_FALSE;
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT SimReplayRegistry::KeepSetup() {
    SimRegistryKey before;
    if (before.Open(HKEY_CURRENT_USER, kBefore) == ERROR_SUCCESS) return S_FALSE;
    SimRegistryKey tuners;
    LONG result = tuners.Create(HKEY_CURRENT_USER, kBeforeTuners);
    const std::vector<SimDeviceRecord> records = SimulatedTuners();
    for (size_t i = 0; i < records.size() && result == ERROR_SUCCESS; ++i)
        result = tuners.SetStrings(std::to_wstring(i + 1).c_str(),
                                   {records[i].friendlyName, records[i].devicePath, records[i].clsid});
    if (result == ERROR_SUCCESS) result = CopyKey(kChannels, kBeforeChannels);
    // Half a copy would be restored as the whole: none is kept then.
    if (result != ERROR_SUCCESS) SimRegistryKey::DeleteTree(HKEY_CURRENT_USER, kBefore);
    return FromWin32(result);
}

HRESULT SimReplayRegistry::RestoreSetup() {
    SimRegistryKey tuners;
    if (tuners.Open(HKEY_CURRENT_USER, kBeforeTuners) != ERROR_SUCCESS) {
        const HRESULT hr = Clear();
        return FAILED(hr) ? hr : S_FALSE;
    }
    HRESULT hr = SimRegistry::ClearCategory(SimCategoryNetworkTuner);
    // In the order they were listed, as the enumerator lists them again.
    for (unsigned n = 1; SUCCEEDED(hr); ++n) {
        std::vector<std::wstring> fields;
        if (!tuners.GetStrings(std::to_wstring(n).c_str(), &fields)) break;
        if (fields.size() != 3) continue;
        SimDeviceRecord record;
        record.friendlyName = fields[0];
        record.devicePath = fields[1];
        record.clsid = fields[2];
        hr = SimRegistry::AddDevice(SimCategoryNetworkTuner, &record);
    }
    tuners.Reset();
    if (SUCCEEDED(hr)) hr = SimSourceRegistry::Clear();
    if (SUCCEEDED(hr)) hr = FromWin32(CopyKey(kBeforeChannels, kChannels));
    if (SUCCEEDED(hr)) hr = Clear();
    return FAILED(hr) ? hr : S_OK;
}

std::wstring SimReplayRegistry::Get() {
    SimRegistryKey key;
    std::wstring path;
    if (key.Open(HKEY_CURRENT_USER, kKeyPath) == ERROR_SUCCESS) key.GetString(kValue, &path);
    return path;
}

std::shared_ptr<SimAnswerScript> SimReplayRegistry::Load() {
    const std::wstring path = Get();
    std::string text;
    // simreg checked the file; one changed since is bounded all the same.
    if (path.empty() || !ReadWholeFile(path, &text, SimReplayPlan::MaxTextBytes)) return nullptr;
    auto script = std::make_shared<SimAnswerScript>(SimAnswerScript::FromText(text));
    return script->Empty() ? nullptr : script;
}
