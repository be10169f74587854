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
#include "driver/KeptChannelLists.h"
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
// "StallSeconds": 0 switches the stall watch off.
constexpr uint32_t DefaultStallSeconds = 10;
constexpr uint32_t MaxStallSeconds = 600;

}  // namespace

// ---- lifecycle -----------------------------------------------------------------

namespace {

// The one object's storage; made at the first CreateBonDriver, destroyed
// only when the library is unloaded.
alignas(CMyBonDriver) unsigned char DriverStorage[sizeof(CMyBonDriver)];
CMyBonDriver* storedDriver = nullptr;

// A test of an ended object's name answer hands out this, not a name of
// the object.
const WideChar NoTunerName[] = WIDE("");

}  // namespace

CMyBonDriver::CMyBonDriver()
    : IniFilePath{},
      ConfiguredDeviceId(0),
      TunerFriendlyName{},
      TunerDevicePath{},
      NetworkName{},
      channels_(nullptr),
      CurrentSpace(NoneSet),
      CurrentChannel(NoneSet),
      HeldChunk(nullptr),
      CallbackAttached(false) {}

CMyBonDriver* CMyBonDriver::StartShared() {
    if (storedDriver == nullptr) storedDriver = new (DriverStorage) CMyBonDriver();
    if (storedDriver->releasing_) storedDriver->Start();
    CurrentDriver = storedDriver;
    return storedDriver;
}

void CMyBonDriver::DestroyStorage() {
    // A live object still owns a graph and threads that a host never ended;
    // they are left as they are rather than torn down under the loader lock.
    if (storedDriver != nullptr && storedDriver->releasing_) storedDriver->~CMyBonDriver();
    storedDriver = nullptr;
}

// Runs under DriverLock (CreateBonDriver holds it).
void CMyBonDriver::Start() {
    CurrentSpace = NoneSet;
    CurrentChannel = NoneSet;
    hostOpen_ = false;
    HeldChunk = nullptr;
    CallbackAttached.store(false);
    ChunkQueue.Configure(0, 0);
    com_ = ComApartment::Enter();
    CurrentGraph = new (std::nothrow) MyFilterGraph();
    ReadSettings();
    if (CurrentGraph != nullptr) SelectTunerDevice();
    releasing_ = false;
}

void CMyBonDriver::ReadSettings() {
    IniSettings::PathBesideModule(ModuleHandle, IniFilePath, IniPathCapacity);
    ConfiguredDeviceId = IniSettings::ReadDeviceId(IniFilePath);
    IniSettings::ReadText(IniFilePath, WIDE("TunerFrendlyName"), TunerFriendlyName,
                          DeviceNameCapacity);
    IniSettings::ReadText(IniFilePath, WIDE("NetworkName"), NetworkName, NetworkNameCapacity);
    recoverySettings_.AutoRecover =
        IniSettings::ReadBounded(IniFilePath, WIDE("AutoRecover"), 0, 1, 1) == 1;
    recoverySettings_.StallSeconds =
        IniSettings::ReadBounded(IniFilePath, WIDE("StallSeconds"), 0, MaxStallSeconds,
                                 DefaultStallSeconds);
    WideCopyTruncate(TunerDevicePath, DeviceNameCapacity, WIDE(""));
    LoadChannels();
}

// The channel file beside the DLL replaces the built-in plan only when it is
// valid as a whole. A release build cannot tell the user why a file was
// refused: bonhost info reads the same file with the same parser and says.
void CMyBonDriver::LoadChannels() {
    ChannelList loaded;
    const ChannelFileReport report =
        ChannelFileLoader::Load(ModuleHandle, NetworkFromName(NetworkName), &loaded);
    channels_ = KeptChannelLists::Keep(std::move(loaded));
    if (report.State == ChannelFileState::Loaded) {
        Trace("(CMyBonDriver) channel file read, channels", channels_->TotalChannels());
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
    if (releasing_ || CurrentGraph == nullptr) return FALSE;
    // An open tuner stays as it is (also while it recovers): building a
    // second graph over the first would orphan the running one.
    if (hostOpen_) return TRUE;
    // The tuner was not there when the object was made; it may be now.
    if (TunerDevicePath[0] == 0) SelectTunerDevice();
    HRESULT hr = BuildAndRunGraph();
    std::shared_ptr<StreamSignal> signal;
    if (SUCCEEDED(hr) && (signal = StreamSignal::Create()) == nullptr) {
        hr = E_OUTOFMEMORY;
        TearDownGraph();
    }
    if (FAILED(hr)) return FALSE;
    OpenStreamSignal(std::move(signal));
    AttachSampleCallback();
    hostOpen_ = true;
    ++openGeneration_;
    tunedSpace_ = NoneSet;
    tunedChannel_ = NoneSet;
    tuned_.store(false);
    lastSampleMs_.store(GetTickCount64());
    StartRecovery();
    return TRUE;
}

// The graph and the two set-up operations every open sends, then Run. On
// failure the graph is torn down again. Runs under DriverLock.
HRESULT CMyBonDriver::BuildAndRunGraph() {
    CurrentGraph->SetTunerNames(TunerFriendlyName, TunerDevicePath);
    HRESULT hr = CurrentGraph->AutoCreateMyDigitalTvFilterGraph();
    if (SUCCEEDED(hr)) hr = CurrentGraph->SetTunerMode(DigitalTunerMode);
    if (SUCCEEDED(hr)) hr = CurrentGraph->SetTransportStreanEncryptionFlag(EncryptionFlagOff);
    if (SUCCEEDED(hr)) hr = CurrentGraph->PlayMyFilterGraph();
    // A Run that failed left nothing running.
    if (FAILED(hr)) TearDownGraph();
    return hr;
}

void CMyBonDriver::StartRecovery() {
    const DeviceText name(TunerFriendlyName);
    const DeviceText path(TunerDevicePath);
    recovery_ = TunerRecovery::Start(recoveryTarget_, CurrentGraph, openGeneration_,
                                     recoverySettings_, name, path);
    if (recovery_ == nullptr) Trace("(CMyBonDriver::OpenTuner) no recovery thread");
}

void CMyBonDriver::CloseTuner() {
    Trace("(CMyBonDriver::CloseTuner)");
    std::unique_ptr<TunerRecovery> recovery;
    {
        ScopedLock lock(DriverLock);
        if (releasing_ || !hostOpen_) return;
        recovery = CloseLocked();
    }
    // The recovery thread may be waiting for DriverLock to rebuild.
    if (recovery != nullptr) recovery->Join();
}

// Ends the open: the recovery thread is told to stop (and handed back to be
// joined without the lock), the graph is stopped and torn down (or was, by
// a recovery) and the stream goes. Runs under DriverLock.
std::unique_ptr<TunerRecovery> CMyBonDriver::CloseLocked() {
    hostOpen_ = false;
    std::unique_ptr<TunerRecovery> recovery = std::move(recovery_);
    if (recovery != nullptr) recovery->RequestStop();
    TearDownGraph();
    CloseStream();
    return recovery;
}

// Stops the graph if it runs, detaches the callback and tears the graph
// down; the host's stream is left as it is. Runs under DriverLock.
void CMyBonDriver::TearDownGraph() {
    if (CurrentGraph->GetRunState() != GraphStopped) CurrentGraph->StopMyFilterGraph();
    DetachSampleCallback();
    CurrentGraph->TearMyFilterGraph();
}

// Lets go of the stream: waiters return, queued chunks and the chunk last
// handed out go. Runs under DriverLock.
void CMyBonDriver::CloseStream() {
    CloseStreamSignal();
    ChunkQueue.Clear();
    FreeHeldChunk();
    // A closed tuner holds no chunk memory. The buffers belong to the
    // streaming thread while a push runs: a Stop that failed may have left
    // one under way, and then they go with the next close or the object.
    if (pushesInFlight_.load() == 0) ChunkQueue.ReleaseBuffers();
}

void CMyBonDriver::Release() {
    Trace("(CMyBonDriver::Release)");
    if (ProcessIsExiting()) {
        // The remote-key thread and the streaming threads are gone, and a
        // lock they held stays held: end the object, touch nothing else.
        releasing_ = true;
        CurrentDriver = nullptr;
        return;
    }
    Ending ending;
    {
        ScopedLock lock(DriverLock);
        // A second holder, a WM_COMMAND handler that the wait below runs,
        // a sloppy reader's last round: the object has ended already.
        if (releasing_) return;
        ending = EndLocked();
    }
    FinishEnding(std::move(ending));
}

// Everything of the object but the remote-key thread: waiters return, an
// open tuner is closed (so no sample reaches the object after), the queue
// lets its buffers go and the graph object leaves CurrentGraph.
CMyBonDriver::Ending CMyBonDriver::EndLocked() {
    releasing_ = true;
    if (CurrentDriver == this) CurrentDriver = nullptr;
    Ending ending;
    if (hostOpen_) ending.Recovery = CloseLocked();
    CloseStreamSignal();
    FreeHeldChunk();
    WaitForPushesToLeave();
    ChunkQueue.Configure(0, 0);
    ending.Graph = CurrentGraph;
    CurrentGraph = nullptr;
    ending.Com = com_;
    com_ = ComApartment();
    return ending;
}

// The remote-key thread may be inside SendMessageW to a window of a host
// thread that is itself waiting for DriverLock, so it is stopped with the
// lock free. The graph object goes under the lock, before the apartment
// that made its objects is left.
void CMyBonDriver::FinishEnding(Ending ending) {
    if (ending.Recovery != nullptr) ending.Recovery->Join();
    ending.Recovery.reset();
    if (ending.Graph != nullptr) {
        ending.Graph->StopRemoteKeys();
        ScopedLock lock(DriverLock);
        delete ending.Graph;
    }
    ending.Com.Leave();
}

// A push that read CallbackAttached just before the detach may still be
// filling a chunk; the queue's buffers are its until it returns, which takes
// no longer than a copy (the streaming thread never waits for DriverLock).
void CMyBonDriver::WaitForPushesToLeave() {
    for (int waited = 0; pushesInFlight_.load() != 0 && waited < 1000; ++waited) Sleep(1);
}

// True from a successful OpenTuner to CloseTuner, also while the driver
// recovers a lost tuner: the host opened it and has not closed it.
BOOL CMyBonDriver::IsTunerOpening() {
    Trace("(CMyBonDriver::IsTunerOpening)");
    ScopedLock lock(DriverLock);
    return !releasing_ && hostOpen_ ? TRUE : FALSE;
}

LPCWSTR CMyBonDriver::GetTunerName() {
    Trace("(CMyBonDriver::GetTunerName)");
    ScopedLock lock(DriverLock);
    return releasing_ ? NoTunerName : TunerFriendlyName;
}

// ---- stream delivery -----------------------------------------------------------

void CMyBonDriver::AttachSampleCallback() {
    CurrentGraph->SetSampleCallback(&CMyBonDriver::OnTsSample, this);
    CallbackAttached.store(true, std::memory_order_release);
}

void CMyBonDriver::DetachSampleCallback() {
    CurrentGraph->SetSampleCallback(nullptr, this);
    CallbackAttached.store(false);  // ordered before CloseTuner reads pushesInFlight_
}

void CMyBonDriver::OpenStreamSignal(std::shared_ptr<StreamSignal> signal) {
    ScopedPlainLock lock(streamLock_);
    StreamEvent = std::move(signal);
}

void CMyBonDriver::CloseStreamSignal() {
    std::shared_ptr<StreamSignal> closed;
    {
        ScopedPlainLock lock(streamLock_);
        closed.swap(StreamEvent);
    }
    // Waiters hold references of their own: the events outlive their waits.
    if (closed != nullptr) closed->Close();
}

void CMyBonDriver::FreeHeldChunk() {
    ChunkQueue.Recycle(HeldChunk);
    HeldChunk = nullptr;
}

int32_t CMyBonDriver::OnTsSample(void* context, const uint8_t* bytes, int32_t length) {
    CMyBonDriver* driver = static_cast<CMyBonDriver*>(context);
    if (driver == nullptr || length <= 0) return 0;
    // Counted before the test, so that CloseTuner, which detaches first,
    // sees every push that can still touch the queue's buffers.
    ++driver->pushesInFlight_;
    driver->lastSampleMs_.store(GetTickCount64(), std::memory_order_relaxed);
    bool appended = false;
    if (driver->CallbackAttached.load()) {
        try {
            appended = driver->ChunkQueue.Push(bytes, static_cast<uint32_t>(length));
        } catch (...) {
            // The streaming thread belongs to DirectShow: nothing may escape.
            appended = false;
        }
    }
    --driver->pushesInFlight_;
    if (appended) {
        ScopedPlainLock lock(driver->streamLock_);
        if (driver->StreamEvent != nullptr) driver->StreamEvent->ChunkQueued();
    }
    return 0;
}

DWORD CMyBonDriver::WaitTsStream(DWORD timeoutMs) {
    Trace("(CMyBonDriver::WaitTsStream)");
    std::shared_ptr<StreamSignal> signal;
    {
        ScopedPlainLock lock(streamLock_);
        signal = StreamEvent;
    }
    // Without a stream event (closed tuner) the answer is "abandoned" at once.
    if (signal == nullptr) return WAIT_ABANDONED;
    return signal->Wait(timeoutMs == 0 ? INFINITE : timeoutMs);
}

DWORD CMyBonDriver::GetReadyCount() {
    Trace("(CMyBonDriver::GetReadyCount)");
    ScopedLock lock(DriverLock);
    return releasing_ ? 0 : ChunkQueue.GetCount();
}

BOOL CMyBonDriver::GetTsStream(BYTE** data, DWORD* size, DWORD* remaining) {
    ScopedLock lock(DriverLock);
    if (data == nullptr || size == nullptr || remaining == nullptr) return FALSE;
    // An ended object's held chunk went with it: nothing is touched.
    if (!releasing_) {
        FreeHeldChunk();
        HeldChunk = ChunkQueue.Pop();
    }
    if (releasing_ || HeldChunk == nullptr) {
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
    if (destination == nullptr) {
        if (size != nullptr) *size = 0;
        if (remaining != nullptr) *remaining = 0;
        return FALSE;
    }
    BYTE* chunk = nullptr;
    BOOL result = static_cast<IBonDriver*>(this)->GetTsStream(&chunk, size, remaining);
    if (result && *size != 0) std::memcpy(destination, chunk, *size);
    return result;
}

void CMyBonDriver::PurgeTsStream() {
    ScopedLock lock(DriverLock);
    if (!releasing_) ChunkQueue.Clear();
}

// ---- tuning spaces, channels, signal level ------------------------------------

LPCWSTR CMyBonDriver::EnumTuningSpace(DWORD space) {
    Trace("(CMyBonDriver::EnumTuningSpace)");
    ScopedLock lock(DriverLock);
    return releasing_ ? nullptr : channels_->SpaceName(space);
}

LPCWSTR CMyBonDriver::EnumChannelName(DWORD space, DWORD channel) {
    Trace("(CMyBonDriver::EnumChannelName)");
    ScopedLock lock(DriverLock);
    if (releasing_) return nullptr;
    const ChannelRow* row = channels_->Channel(space, channel);
    return row != nullptr ? row->Name : nullptr;
}

// Sends the row's request in its two operations; true when the device
// accepted both. Runs with DriverLock held.
bool CMyBonDriver::TuneRow(uint32_t space, uint32_t channel) {
    if (releasing_ || !IsOpen()) return false;
    TuneRequest request;
    if (!channels_->FillTuneRequest(space, channel, &request)) return false;
    if (FAILED(CurrentGraph->SetFrequency(&request.Tail))) return false;
    return SUCCEEDED(CurrentGraph->SetTuneRequest(&request));
}

BOOL CMyBonDriver::SetChannel(DWORD space, DWORD channel) {
    Trace("(CMyBonDriver::SetChannel)");
    bool tuned;
    {
        ScopedLock lock(DriverLock);
        if (releasing_) return FALSE;
        tuned = TuneRow(space, channel);
        CurrentSpace = static_cast<int32_t>(space);
        CurrentChannel = static_cast<int32_t>(channel);
        if (tuned) NoteTuned(space, channel);
    }
    ResetPidFilterAfterTune(tuned);
    return tuned ? TRUE : FALSE;
}

BOOL CMyBonDriver::SetChannel(BYTE channel) {
    Trace("(CMyBonDriver::SetChannel)");
    bool tuned;
    {
        ScopedLock lock(DriverLock);
        if (releasing_) return FALSE;
        // Before any two-argument SetChannel the space is -1, which no table has.
        tuned = TuneRow(static_cast<uint32_t>(CurrentSpace), channel);
        CurrentChannel = channel;
        if (tuned) NoteTuned(static_cast<uint32_t>(CurrentSpace), channel);
    }
    ResetPidFilterAfterTune(tuned);
    return tuned ? TRUE : FALSE;
}

// The channel a rebuilt graph is tuned to again; a new channel's first
// sample may take a moment, which is no stall.
void CMyBonDriver::NoteTuned(uint32_t space, uint32_t channel) {
    tunedSpace_ = static_cast<int32_t>(space);
    tunedChannel_ = static_cast<int32_t>(channel);
    lastSampleMs_.store(GetTickCount64());
    tuned_.store(true);
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
    return releasing_ || CurrentGraph == nullptr ? NoneSetAnswer : static_cast<DWORD>(CurrentSpace);
}

DWORD CMyBonDriver::GetCurChannel() {
    Trace("(CMyBonDriver::GetCurChannel)");
    ScopedLock lock(DriverLock);
    return releasing_ || CurrentGraph == nullptr ? NoneSetAnswer
                                                 : static_cast<DWORD>(CurrentChannel);
}

float CMyBonDriver::GetSignalLevel() {
    const float noLevel = 0.0f;
    ScopedLock lock(DriverLock);
    if (releasing_ || !IsOpen()) return noLevel;
    SignalStatistics statistics;
    if (FAILED(CurrentGraph->GetSignalStatistics(&statistics))) return noLevel;
    return SignalLevelFromStatistics(statistics.Level, statistics.LevelHundredths);
}

// ---- recovery (called by the recovery thread) ------------------------------------

StreamFacts CMyBonDriver::RecoveryFacts() const {
    StreamFacts facts;
    facts.LastSampleMs = lastSampleMs_.load(std::memory_order_relaxed);
    facts.Tuned = tuned_.load();
    return facts;
}

bool CMyBonDriver::RecoveryWanted(uint32_t generation) const {
    return !releasing_ && hostOpen_ && generation == openGeneration_;
}

void CMyBonDriver::DropBrokenGraph(uint32_t generation) {
    ScopedLock lock(DriverLock);
    if (!RecoveryWanted(generation) || !IsOpen()) return;
    Trace("(CMyBonDriver) the broken graph goes; the stream stays open");
    TearDownGraph();
}

// The graph as OpenTuner built it, the channel the host last tuned and what
// the host set through the exports (PID filter, LNB power on satellite).
RebuildResult CMyBonDriver::Rebuild(uint32_t generation, ComPtr<IMediaEventEx>* events) {
    ScopedLock lock(DriverLock);
    if (!RecoveryWanted(generation)) return RebuildResult::Blocked;
    if (IsOpen()) return RebuildResult::Rebuilt;
    // A graph that a failed sweep kept aside may still hang; no new one
    // piles up beside it.
    if (!CurrentGraph->ReadyForNewGraph()) return RebuildResult::Blocked;
    const HRESULT hr = BuildAndRunGraph();
    if (FAILED(hr)) {
        TraceFailure("(CMyBonDriver) rebuild failed", hr);
        return hr == HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED) ? RebuildResult::DeviceMissing
                                                                   : RebuildResult::Failed;
    }
    AttachSampleCallback();
    lastSampleMs_.store(GetTickCount64());
    if (!RestoreHostSettings()) {
        TearDownGraph();
        return RebuildResult::Failed;
    }
    ProcessCardReader.ForgetCard();
    *events = CurrentGraph->EventSource();
    Trace("(CMyBonDriver) rebuilt, retuned and restored");
    return RebuildResult::Rebuilt;
}

bool CMyBonDriver::RestoreHostSettings() {
    if (tunedSpace_ != NoneSet &&
        !TuneRow(static_cast<uint32_t>(tunedSpace_), static_cast<uint32_t>(tunedChannel_)))
        return false;
    if (HardwarePidFilter::Restore() == 0) return false;
    const int64_t lnb = ProcessLnbPower.load();
    if (lnb >= 0 && NetworkFromName(NetworkName) == Network::IsdbS &&
        FAILED(CurrentGraph->SetLNBPower(static_cast<uint32_t>(lnb))))
        return false;
    return true;
}

StreamFacts CMyBonDriver::RecoveryAdapter::Facts() { return driver.RecoveryFacts(); }

void CMyBonDriver::RecoveryAdapter::DropBrokenGraph(uint32_t generation) {
    driver.DropBrokenGraph(generation);
}

RebuildResult CMyBonDriver::RecoveryAdapter::Rebuild(uint32_t generation,
                                                     ComPtr<IMediaEventEx>* events) {
    return driver.Rebuild(generation, events);
}
