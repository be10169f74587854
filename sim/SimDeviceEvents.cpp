#include "sim/SimDeviceEvents.h"

#include <cwchar>

#include "platform/UniqueHandle.h"
#include "sim/SimClassIds.h"
#include "sim/SimControl.h"
#include "sim/SimRegistryKey.h"

namespace {

const wchar_t kRootPath[] = L"Software\\TesselSim";
const wchar_t kEventsPath[] = L"Software\\TesselSim\\Events";
const wchar_t kRunDelayPath[] = L"Software\\TesselSim\\RunDelay";
const wchar_t kSequenceName[] = L"EventSequence";
// Serialises the record's read-modify-write between the prefix's processes.
const wchar_t kMutexName[] = L"Local\\TesselSimDeviceEvents";
constexpr DWORD kMutexWaitMs = 5000;

HRESULT FromWin32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

// Holds the prefix-wide mutex for a scope.
class RecordLock {
public:
    RecordLock() {
        mutex_.Adopt(CreateMutexW(nullptr, FALSE, kMutexName));
        if (mutex_.Get() == nullptr) return;
        const DWORD waited = WaitForSingleObject(mutex_.Get(), kMutexWaitMs);
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~RecordLock() {
        if (held_) ReleaseMutex(mutex_.Get());
    }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;
    bool Held() const { return held_; }

private:
    UniqueHandle mutex_;
    bool held_ = false;
};

// Event names are plain ASCII.
std::wstring EventLine(uint64_t sequence, SimDeviceEvent event) {
    const std::string name = SimDeviceEventName(event);
    return std::to_wstring(sequence) + L" " + std::wstring(name.begin(), name.end());
}

bool ParseLine(const std::wstring& line, SimRecordedEvent* parsed) {
    const size_t space = line.find(L' ');
    if (space == std::wstring::npos || space == 0) return false;
    wchar_t* end = nullptr;
    const unsigned long long sequence = wcstoull(line.c_str(), &end, 10);
    if (end != line.c_str() + space || sequence == 0) return false;
    std::string name;
    for (wchar_t unit : line.substr(space + 1)) {
        if (unit > 0x7F) return false;
        name.push_back(static_cast<char>(unit));
    }
    SimDeviceEvent event;
    if (!ParseSimDeviceEvent(name, &event)) return false;
    parsed->Sequence = sequence;
    parsed->Event = event;
    return true;
}

std::vector<SimRecordedEvent> ParseLines(const std::vector<std::wstring>& lines) {
    std::vector<SimRecordedEvent> events;
    for (const std::wstring& line : lines) {
        SimRecordedEvent event;
        if (ParseLine(line, &event)) events.push_back(event);
    }
    return events;
}

// Appends the event to the device's value under the next sequence number.
HRESULT Record(SimDeviceEvent event, const std::wstring& devicePath, uint64_t* sequence) {
    RecordLock lock;
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    SimRegistryKey root;
    LONG result = root.Create(HKEY_CURRENT_USER, kRootPath);
    uint64_t last = 0;
    if (result == ERROR_SUCCESS) root.GetQword(kSequenceName, &last);
    SimRegistryKey events;
    if (result == ERROR_SUCCESS) result = events.Create(HKEY_CURRENT_USER, kEventsPath);
    if (result != ERROR_SUCCESS) return FromWin32(result);
    std::vector<std::wstring> lines;
    events.GetStrings(devicePath.c_str(), &lines);
    lines.push_back(EventLine(last + 1, event));
    if (lines.size() > SimDeviceEvents::KeptPerDevice)
        lines.erase(lines.begin(), lines.end() - SimDeviceEvents::KeptPerDevice);
    // The counter first: a crash in between leaves a gap, never a number twice.
    result = root.SetQword(kSequenceName, last + 1);
    if (result == ERROR_SUCCESS) result = events.SetStrings(devicePath.c_str(), lines);
    if (result != ERROR_SUCCESS) return FromWin32(result);
    *sequence = last + 1;
    return S_OK;
}

const WideChar* Wide(const std::wstring& text) {
    return reinterpret_cast<const WideChar*>(text.c_str());
}

}  // namespace

HRESULT SimDeviceEvents::Apply(SimDeviceEvent event, const std::wstring& devicePath) {
    return Apply(event, devicePath, LoadedControl());
}

HRESULT SimDeviceEvents::Apply(SimDeviceEvent event, const std::wstring& devicePath,
                               SimControl* control) {
    if (event >= SimDeviceEvent::Count || devicePath.empty()) return E_INVALIDARG;
    HRESULT hr = S_OK;
    if (event == SimDeviceEvent::Unplug || event == SimDeviceEvent::SilentUnplug)
        hr = SimRegistry::UnplugTuner(devicePath, nullptr);
    if (event == SimDeviceEvent::Replug) hr = SimRegistry::ReplugTuner(devicePath, nullptr);
    if (FAILED(hr)) return hr;
    uint64_t sequence = 0;
    hr = Record(event, devicePath, &sequence);
    if (FAILED(hr)) return hr;
    if (control != nullptr) control->Device(Wide(devicePath))->ApplyRecorded(event, sequence);
    return S_OK;
}

std::vector<SimTunerEntry> SimDeviceEvents::Tuners() {
    std::vector<SimTunerEntry> tuners;
    for (const SimDeviceRecord& record : SimRegistry::List(SimCategoryNetworkTuner))
        tuners.push_back(SimTunerEntry{record, true});
    for (const SimDeviceRecord& record : SimRegistry::UnpluggedTuners()) {
        auto at = tuners.begin();
        while (at != tuners.end() &&
               _wcsicmp(at->Record.instance.c_str(), record.instance.c_str()) < 0)
            ++at;
        tuners.insert(at, SimTunerEntry{record, false});
    }
    return tuners;
}

std::vector<SimRecordedEvent> SimDeviceEvents::Recorded(const std::wstring& devicePath) {
    SimRegistryKey events;
    std::vector<std::wstring> lines;
    if (events.Open(HKEY_CURRENT_USER, kEventsPath) == ERROR_SUCCESS)
        events.GetStrings(devicePath.c_str(), &lines);
    return ParseLines(lines);
}

uint64_t SimDeviceEvents::LastSequence() {
    SimRegistryKey root;
    uint64_t last = 0;
    if (root.Open(HKEY_CURRENT_USER, kRootPath) == ERROR_SUCCESS)
        root.GetQword(kSequenceName, &last);
    return last;
}

size_t SimDeviceEvents::ApplyRecorded(SimControl* control, uint64_t after) {
    if (control == nullptr) return 0;
    SimRegistryKey events;
    if (events.Open(HKEY_CURRENT_USER, kEventsPath) != ERROR_SUCCESS) return 0;
    size_t applied = 0;
    for (const std::wstring& path : events.ValueNames()) {
        std::vector<std::wstring> lines;
        if (path.empty() || !events.GetStrings(path.c_str(), &lines)) continue;
        SimDevice* device = nullptr;
        for (const SimRecordedEvent& event : ParseLines(lines)) {
            if (event.Sequence <= after) continue;
            if (device == nullptr) device = control->Device(Wide(path));
            if (device->ApplyRecorded(event.Event, event.Sequence)) ++applied;
        }
    }
    return applied;
}

HRESULT SimDeviceEvents::SetRunDelay(const std::wstring& devicePath, uint32_t ms,
                                     SimControl* control) {
    if (devicePath.empty() || ms > MaxRunDelayMs) return E_INVALIDARG;
    SimRegistryKey delays;
    LONG result = delays.Create(HKEY_CURRENT_USER, kRunDelayPath);
    if (result == ERROR_SUCCESS) result = delays.SetQword(devicePath.c_str(), ms);
    if (result != ERROR_SUCCESS) return FromWin32(result);
    if (control != nullptr) control->Device(Wide(devicePath))->SetRunDelay(ms);
    return S_OK;
}

uint32_t SimDeviceEvents::RunDelay(const std::wstring& devicePath) {
    SimRegistryKey delays;
    uint64_t ms = 0;
    if (delays.Open(HKEY_CURRENT_USER, kRunDelayPath) != ERROR_SUCCESS ||
        !delays.GetQword(devicePath.c_str(), &ms))
        return 0;
    return ms > MaxRunDelayMs ? MaxRunDelayMs : static_cast<uint32_t>(ms);
}

HRESULT SimDeviceEvents::Forget() {
    const HRESULT hr = SimRegistry::ReplugAllTuners();
    SimRegistryKey::DeleteTree(HKEY_CURRENT_USER, kRunDelayPath);
    const LONG result = SimRegistryKey::DeleteTree(HKEY_CURRENT_USER, kEventsPath);
    if (FAILED(hr)) return hr;
    return result == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(result);
}

SimControl* SimDeviceEvents::LoadedControl() {
    HMODULE module = GetModuleHandleW(L"TesselSim.dll");
    if (module == nullptr) return nullptr;
    typedef SimControl* (*GetControl)();
    GetControl get =
        reinterpret_cast<GetControl>(reinterpret_cast<void*>(GetProcAddress(module, "SimGetControl")));
    return get != nullptr ? get() : nullptr;
}
