// Registration of the simulated tuner's COM classes and device instances.
//
// Devices live where the system device enumerator looks for them:
// HKCR\CLSID\{category}\Instance\{instance} with the string values
// "FriendlyName", "DevicePath" and "CLSID". Instance keys of ours are named
// {5E5A<ordinal>-7E55-4E11-9D1C-000000000000}, so the enumerator (which lists
// subkeys in name order) returns them in the order they were added, and
// Clear can tell them from devices that are not ours.
//
// An unplugged tuner's instance key is moved, with its values, to
// HKCU\Software\TesselSim\Unplugged\{instance}, out of the enumerator's
// sight, and moved back under the same name when it is replugged; its
// ordinal stays taken meanwhile. Windows only.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

struct SimDeviceRecord {
    std::wstring instance;  // "{guid}" key name under Instance
    std::wstring friendlyName;
    std::wstring devicePath;
    std::wstring clsid;  // "{guid}" of the class the device binds to
};

class SimRegistry {
public:
    // The tuner name used when the caller gives none.
    static const wchar_t* DefaultTunerName();
    // The device-path template used when the caller gives none; "{id}" is
    // replaced by the instance identifier, "{n}" by the tuner's ordinal.
    static const wchar_t* DefaultPathTemplate();

    // Writes every class of TesselSim.dll with InprocServer32 = dllPath and
    // ThreadingModel "Both". Idempotent.
    static HRESULT RegisterServer(const std::wstring& dllPath);
    // Registers every class of TesselSim.dll again with the ThreadingModel
    // `model` ("Apartment" or "Both"), as a maker's components may be; the
    // server path stays. E_INVALIDARG for another model; the error of the
    // first class that is not registered.
    static HRESULT SetThreadingModel(const std::wstring& model);
    // Removes the class keys written by RegisterServer (the maker's two
    // classes included) and every device instance of ours.
    static HRESULT UnregisterServer();

    // Adds `count` tuner instances named `name`, with device paths made from
    // `pathTemplate`; their instance identifiers continue after the tuners
    // already registered, so paths stay distinct. `added` (may be null)
    // receives the new records.
    static HRESULT AddTuners(unsigned count, const std::wstring& name,
                             const std::wstring& pathTemplate,
                             std::vector<SimDeviceRecord>* added);
    // Replaces the receiver components of ours by those of a scenario: "none",
    // "skipped-only", "never-connects", "pass-through", "several"
    // (never-connects then pass-through), "skipped-then-pass-through" or
    // "all". E_INVALIDARG for an unknown scenario.
    static HRESULT SetReceiverScenario(const std::wstring& scenario);
    static std::vector<std::wstring> ReceiverScenarios();

    // Adds one device instance of ours in `category`; fills record->instance.
    static HRESULT AddDevice(const GUID& category, SimDeviceRecord* record);
    // Every device instance in `category` (ours or not), in enumeration order.
    static std::vector<SimDeviceRecord> List(const GUID& category);
    // Removes the device instances of ours in `category` (the tuners' moved
    // aside by UnplugTuner too).
    static HRESULT ClearCategory(const GUID& category);
    // Removes every device instance of ours in both BDA categories.
    static HRESULT Clear();

    // Moves the tuner instance whose "DevicePath" is `devicePath` aside (see
    // above); S_FALSE when no such tuner is registered. `moved` (may be null)
    // receives its record.
    static HRESULT UnplugTuner(const std::wstring& devicePath, SimDeviceRecord* moved);
    // Puts the tuner moved aside with that path back; S_FALSE when none is.
    static HRESULT ReplugTuner(const std::wstring& devicePath, SimDeviceRecord* restored);
    // The tuners moved aside, by instance key name.
    static std::vector<SimDeviceRecord> UnpluggedTuners();
    // Puts every tuner moved aside back.
    static HRESULT ReplugAllTuners();

    static std::wstring GuidText(const GUID& guid);
    // The instance identifier of the tuner with the given ordinal: 8 hex
    // digits whose last one is the ordinal's low four bits.
    static std::wstring TunerInstanceId(unsigned ordinal);
    static std::wstring ExpandTemplate(const std::wstring& pathTemplate, unsigned ordinal);
};
