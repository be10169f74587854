// The driver object: construction with the INI settings and the tuner
// selection; open, close, release and the state queries; stream delivery
// (the writer filter's callback feeds the chunk queue on the streaming
// thread, the host waits on the stream event and takes chunks); the tuning
// spaces, channels and the signal level.
#include "driver/CMyBonDriver.h"

#include <objbase.h>

#include <cstring>
#include <new>
#include <vector>

#include "channels/ChannelFileLoader.h"
#include "channels/ChannelPlan.h"
#include "devices/TunerMatcher.h"
#include "driver/HardwarePidFilter.h"
#include "driver/IniSettings.h"
#include "driver/ProcessState.h"
#include "driver/SignalLevel.h"
#include "graph/MyFilterGraph.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

namespace {

// The two set-up operations that every open sends to the device.
constexpr uint32_t DigitalTunerMode = 3;
constexpr uint32_t EncryptionFlagOff = 0;
// CurrentSpace and CurrentChannel before the first SetChannel.
constexpr int32_t NoneSet = -1;
constexpr DWORD NoneSetAnswer = 0xFFFFFFFFu;

}  // namespace

// ---- lifecycle -----------------------------------------------------------------

CMyBonDriver::CMyBonDriver()
    : IniFilePath{},
      ConfiguredDeviceId(0),
      TunerFriendlyName{},
      TunerDevicePath{},
      NetworkName{},
      CurrentSpace(NoneSet),
      CurrentChannel(NoneSet),
      HeldChunk(nullptr),
      CallbackAttached(false) {
    ScopedLock lock(DriverLock);
    CoInitialize(nullptr);
    CurrentGraph = new (std::nothrow) MyFilterGraph();
    ReadSettings();
    if (CurrentGraph != nullptr) SelectTunerDevice();
}

void CMyBonDriver::ReadSettings() {
    IniSettings::PathBesideModule(ModuleHandle, IniFilePath, IniPathCapacity);
    ConfiguredDeviceId = IniSettings::ReadDeviceId(IniFilePath);
    IniSettings::ReadText(IniFilePath, WIDE("TunerFrendlyName"), TunerFriendlyName,
                          DeviceNameCapacity);
    IniSettings::ReadText(IniFilePath, WIDE("NetworkName"), NetworkName, NetworkNameCapacity);
    WideCopyTruncate(TunerDevicePath, DeviceNameCapacity, WIDE(""));
    LoadChannels();
}

// The channel file beside the DLL replaces the built-in plan only when it is
// valid as a whole. A release build cannot tell the user why a file was
// refused: bonhost info reads the same file with the same parser and says.
void CMyBonDriver::LoadChannels() {
    const ChannelFileReport report =
        ChannelFileLoader::Load(ModuleHandle, NetworkFromName(NetworkName), &channels_);
    if (report.State == ChannelFileState::Loaded) {
        Trace("(CMyBonDriver) channel file read, channels", channels_.TotalChannels());
    } else if (report.State == ChannelFileState::Refused) {
        Trace("(CMyBonDriver) channel file refused, built-in plan kept; line", report.Error.Line);
        Trace(report.Error.Message.c_str());
    }
}

// Picks the first BDA network tuner, in enumeration order, that the matching
// rules select; selecting one is also what sizes the chunk queue.
void CMyBonDriver::SelectTunerDevice() {
    struct Names {
        WideChar FriendlyName[DeviceNameCapacity];
        WideChar DevicePath[DeviceNameCapacity];
    };
    uint16_t count = 0;
    CurrentGraph->CountingAvailableComponent(CategoryBdaNetworkTuner, &count);
    std::vector<Names> names(count, Names{});
    std::vector<TunerCandidate> candidates;
    for (uint16_t index = 1; index <= count && index != 0; ++index) {
        Names& device = names[index - 1];
        CurrentGraph->GetComponentFriendlyNameAndDisplayName(CategoryBdaNetworkTuner, index,
                                                             device.FriendlyName, device.DevicePath);
        candidates.push_back({device.FriendlyName, device.DevicePath});
    }
    const int selected = SelectTuner(candidates.data(), static_cast<int>(candidates.size()),
                                     TunerFriendlyName, static_cast<uint32_t>(ConfiguredDeviceId));
    if (selected < 0) return;
    WideCopyTruncate(TunerDevicePath, DeviceNameCapacity, candidates[selected].DevicePath);
    ChunkQueue.Configure(TsChunkBytes, TsChunkLimit);
}

bool CMyBonDriver::IsOpen() const { return CurrentGraph != nullptr && CurrentGraph->IsGraphOpen(); }

BOOL CMyBonDriver::OpenTuner() {
    Trace("(CMyBonDriver::OpenTuner)");
    ScopedLock lock(DriverLock);
    if (CurrentGraph == nullptr) return FALSE;
    // An open tuner stays as it is: building a second graph over the first
    // would orphan the running one.
    if (IsOpen()) return TRUE;
    CurrentGraph->SetTunerNames(TunerFriendlyName, TunerDevicePath);
    HRESULT hr = CurrentGraph->AutoCreateMyDigitalTvFilterGraph();
    if (SUCCEEDED(hr)) hr = CurrentGraph->SetTunerMode(DigitalTunerMode);
    if (SUCCEEDED(hr)) hr = CurrentGraph->SetTransportStreanEncryptionFlag(EncryptionFlagOff);
    if (SUCCEEDED(hr)) hr = CurrentGraph->PlayMyFilterGraph();
    if (SUCCEEDED(hr) && !StreamEvent.CreateAutoReset()) hr = E_FAIL;
    if (FAILED(hr)) {
        // A Run that failed left nothing running; a graph whose event could
        // not be made is stopped before it goes.
        if (CurrentGraph->GetRunState() != GraphStopped) CurrentGraph->StopMyFilterGraph();
        CurrentGraph->TearMyFilterGraph();
        return FALSE;
    }
    AttachSampleCallback();
    return TRUE;
}

void CMyBonDriver::CloseTuner() {
    Trace("(CMyBonDriver::CloseTuner)");
    ScopedLock lock(DriverLock);
    if (!IsOpen()) return;
    if (CurrentGraph->GetRunState() != GraphStopped) CurrentGraph->StopMyFilterGraph();
    DetachSampleCallback();
    StreamEvent.Close();
    ChunkQueue.Clear();
    FreeHeldChunk();
    CurrentGraph->TearMyFilterGraph();
}

void CMyBonDriver::Release() {
    Trace("(CMyBonDriver::Release)");
    {
        ScopedLock lock(DriverLock);
        if (CurrentGraph != nullptr) {
            // Destroying the graph stops and tears down an open graph, so no
            // sample reaches this object afterwards.
            delete CurrentGraph;
            CurrentGraph = nullptr;
        }
        CoUninitialize();
        if (CurrentDriver == this) CurrentDriver = nullptr;
    }
    FreeHeldChunk();
    delete this;
}

BOOL CMyBonDriver::IsTunerOpening() {
    Trace("(CMyBonDriver::IsTunerOpening)");
    ScopedLock lock(DriverLock);
    return IsOpen() ? TRUE : FALSE;
}

LPCWSTR CMyBonDriver::GetTunerName() {
    Trace("(CMyBonDriver::GetTunerName)");
    ScopedLock lock(DriverLock);
    return TunerFriendlyName;
}

// ---- stream delivery -----------------------------------------------------------

void CMyBonDriver::AttachSampleCallback() {
    CurrentGraph->SetSampleCallback(&CMyBonDriver::OnTsSample, this);
    CallbackAttached.store(true, std::memory_order_release);
}

void CMyBonDriver::DetachSampleCallback() {
    CurrentGraph->SetSampleCallback(nullptr, this);
    CallbackAttached.store(false, std::memory_order_release);
}

void CMyBonDriver::FreeHeldChunk() {
    ChunkQueue.Recycle(HeldChunk);
    HeldChunk = nullptr;
}

int32_t CMyBonDriver::OnTsSample(void* context, const uint8_t* bytes, int32_t length) {
    CMyBonDriver* driver = static_cast<CMyBonDriver*>(context);
    if (driver == nullptr || length <= 0) return 0;
    if (!driver->CallbackAttached.load(std::memory_order_acquire)) return 0;
    bool appended = false;
    try {
        appended = driver->ChunkQueue.Push(bytes, static_cast<uint32_t>(length));
    } catch (...) {
        // The streaming thread belongs to DirectShow: nothing may escape.
        appended = false;
    }
    HANDLE event = driver->StreamEvent.Get();
    if (appended && event != nullptr) SetEvent(event);
    return 0;
}

DWORD CMyBonDriver::WaitTsStream(DWORD timeoutMs) {
    Trace("(CMyBonDriver::WaitTsStream)");
    HANDLE event = StreamEvent.Get();
    if (event == nullptr) return WAIT_ABANDONED;
    return WaitForSingleObject(event, timeoutMs == 0 ? INFINITE : timeoutMs);
}

DWORD CMyBonDriver::GetReadyCount() {
    Trace("(CMyBonDriver::GetReadyCount)");
    ScopedLock lock(DriverLock);
    return ChunkQueue.GetCount();
}

BOOL CMyBonDriver::GetTsStream(BYTE** data, DWORD* size, DWORD* remaining) {
    ScopedLock lock(DriverLock);
    if (data == nullptr || size == nullptr || remaining == nullptr) return FALSE;
    FreeHeldChunk();
    HeldChunk = ChunkQueue.Pop();
    if (HeldChunk == nullptr) {
        *data = nullptr;
        *size = 0;
        *remaining = 0;
        return FALSE;
    }
    *data = HeldChunk->Data;
    *size = HeldChunk->Length;
    *remaining = ChunkQueue.GetCount();
    return TRUE;
}

BOOL CMyBonDriver::GetTsStream(BYTE* destination, DWORD* size, DWORD* remaining) {
    ScopedLock lock(DriverLock);
    // Without a destination nothing is taken from the queue: a chunk popped
    // here could never reach the host.
    if (destination == nullptr) return FALSE;
    BYTE* chunk = nullptr;
    BOOL result = static_cast<IBonDriver*>(this)->GetTsStream(&chunk, size, remaining);
    if (result && *size != 0) std::memcpy(destination, chunk, *size);
    return result;
}

void CMyBonDriver::PurgeTsStream() {
    ScopedLock lock(DriverLock);
    ChunkQueue.Clear();
}

// ---- tuning spaces, channels, signal level ------------------------------------

LPCWSTR CMyBonDriver::EnumTuningSpace(DWORD space) {
    Trace("(CMyBonDriver::EnumTuningSpace)");
    ScopedLock lock(DriverLock);
    return channels_.SpaceName(space);
}

LPCWSTR CMyBonDriver::EnumChannelName(DWORD space, DWORD channel) {
    Trace("(CMyBonDriver::EnumChannelName)");
    ScopedLock lock(DriverLock);
    const ChannelRow* row = channels_.Channel(space, channel);
    return row != nullptr ? row->Name : nullptr;
}

// Sends the row's request in its two operations; true when the device
// accepted both. Runs with DriverLock held.
bool CMyBonDriver::TuneRow(uint32_t space, uint32_t channel) {
    if (!IsOpen()) return false;
    TuneRequest request;
    if (!channels_.FillTuneRequest(space, channel, &request)) return false;
    if (FAILED(CurrentGraph->SetFrequency(&request.Tail))) return false;
    return SUCCEEDED(CurrentGraph->SetTuneRequest(&request));
}

BOOL CMyBonDriver::SetChannel(DWORD space, DWORD channel) {
    Trace("(CMyBonDriver::SetChannel)");
    bool tuned;
    {
        ScopedLock lock(DriverLock);
        tuned = TuneRow(space, channel);
        CurrentSpace = static_cast<int32_t>(space);
        CurrentChannel = static_cast<int32_t>(channel);
    }
    ResetPidFilterAfterTune(tuned);
    return tuned ? TRUE : FALSE;
}

BOOL CMyBonDriver::SetChannel(BYTE channel) {
    Trace("(CMyBonDriver::SetChannel)");
    bool tuned;
    {
        ScopedLock lock(DriverLock);
        // Before any two-argument SetChannel the space is -1, which no table has.
        tuned = TuneRow(static_cast<uint32_t>(CurrentSpace), channel);
        CurrentChannel = channel;
    }
    ResetPidFilterAfterTune(tuned);
    return tuned ? TRUE : FALSE;
}

// A new channel starts with a map holding only the null-packet PID. Runs
// after DriverLock is released (the reset takes it itself); a failed reset
// does not undo the tune, so its result is ignored.
void CMyBonDriver::ResetPidFilterAfterTune(bool tuned) {
    if (tuned) HardwarePidFilter::Reset();
}

DWORD CMyBonDriver::GetCurSpace() {
    Trace("(CMyBonDriver::GetCurSpace)");
    ScopedLock lock(DriverLock);
    return CurrentGraph == nullptr ? NoneSetAnswer : static_cast<DWORD>(CurrentSpace);
}

DWORD CMyBonDriver::GetCurChannel() {
    Trace("(CMyBonDriver::GetCurChannel)");
    ScopedLock lock(DriverLock);
    return CurrentGraph == nullptr ? NoneSetAnswer : static_cast<DWORD>(CurrentChannel);
}

float CMyBonDriver::GetSignalLevel() {
    const float noLevel = 0.0f;
    ScopedLock lock(DriverLock);
    if (!IsOpen()) return noLevel;
    SignalStatistics statistics;
    if (FAILED(CurrentGraph->GetSignalStatistics(&statistics))) return noLevel;
    return SignalLevelFromStatistics(statistics.Level, statistics.LevelHundredths);
}
