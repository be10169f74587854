// The driver object: construction with the INI settings and the tuner
// selection; open, close, release and the state queries; stream delivery
// (the writer filter's callback feeds the chunk queue on the streaming
// thread, the host waits on the stream event and takes chunks); the tuning
// spaces, channels and the signal level.
#include "driver/CMyBonDriver.h"

#include <objbase.h>

#include <cstring>
#include <new>
#include <string>
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
    if (storedDriver->releasing_ && !storedDriver->Start()) return nullptr;
    CurrentDriver = storedDriver;
    return storedDriver;
}

void CMyBonDriver::DestroyStorage() {
    // A live object still owns a graph and threads that a host never ended;
    // they are left as they are rather than torn down under the loader lock.
    if (storedDriver != nullptr && storedDriver->releasing_) storedDriver->~CMyBonDriver();
    storedDriver = nullptr;
}

// Runs under DriverLock (CreateBonDriver holds it). A start that fails
// part-way (out of memory) is undone whole: the object stays ended.
bool CMyBonDriver::Start() {
    try {
        StartLocked();
        return true;
    } catch (...) {
        UndoStart();
        return false;
    }
}

void CMyBonDriver::StartLocked() {
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

void CMyBonDriver::UndoStart() {
    MyFilterGraph* graph = CurrentGraph;
    CurrentGraph = nullptr;
    if (graph != nullptr) {
        graph->StopRemoteKeys();
        delete graph;
    }
    ChunkQueue.Configure(0, 0);
    com_.Leave();
    com_ = ComApartment();
    releasing_ = true;
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

// Open and not held aside by the recovery thread.
bool CMyBonDriver::IsOpen() const { return CurrentGraph != nullptr && CurrentGraph->IsGraphOpen(); }

BOOL CMyBonDriver::OpenTuner() {
    Trace("(CMyBonDriver::OpenTuner)");
    // A recovery thread that a CloseTuner on another thread is still ending
    // may hold the graph aside: it ends first, with the lock free.
    std::shared_ptr<TunerRecovery> closing;
    {
        ScopedLock lock(DriverLock);
        closing = closingRecovery_;
    }
    if (closing != nullptr) closing->Join();
    ScopedLock lock(DriverLock);
    if (closing != nullptr && closingRecovery_ == closing) closingRecovery_.reset();
    try {
        return OpenLocked();
    } catch (...) {
        // Out of memory part-way: the tuner stays closed, nothing is left.
        UndoOpen();
        return FALSE;
    }
}

// Everything that may fail comes before the open is committed (hostOpen_).
BOOL CMyBonDriver::OpenLocked() {
    if (releasing_ || CurrentGraph == nullptr || !CurrentGraph->InService()) return FALSE;
    // An open tuner stays as it is (also while it recovers): building a
    // second graph over the first would orphan the running one.
    if (hostOpen_) return TRUE;
    // The tuner was not there when the object was made; it may be now.
    if (TunerDevicePath[0] == 0) SelectTunerDevice();
    if (FAILED(BuildAndRunGraph(CurrentGraph, TunerFriendlyName, TunerDevicePath))) return FALSE;
    std::shared_ptr<StreamSignal> signal = StreamSignal::Create();
    if (signal == nullptr) {
        TearDownGraph();
        return FALSE;
    }
    const RecoverySettings settings = SettingsForThisOpen();
    const DeviceText name(TunerFriendlyName);
    const DeviceText path(TunerDevicePath);
    OpenStreamSignal(std::move(signal));
    AttachSampleCallback();
    hostOpen_ = true;
    ++openGeneration_;
    recoveryTarget_.Opened();
    recovery_ = TunerRecovery::Start(recoveryTarget_, CurrentGraph, openGeneration_, settings,
                                     name, path);
    if (recovery_ == nullptr) Trace("(CMyBonDriver::OpenTuner) no recovery thread");
    return TRUE;
}

// What an OpenTuner that failed part-way leaves: the graph torn down, no
// stream. Under DriverLock.
void CMyBonDriver::UndoOpen() {
    if (hostOpen_) {
        // Nothing after the commit allocates; should it ever, the open is
        // ended as a close would (the thread is joined by the next open,
        // close or release).
        closingRecovery_ = CloseLocked();
        return;
    }
    if (CurrentGraph != nullptr && CurrentGraph->InService()) TearDownGraph();
    CloseStreamSignal();
}

// The graph and the two set-up operations every open sends, then Run. On
// failure the graph is torn down again.
HRESULT CMyBonDriver::BuildAndRunGraph(MyFilterGraph* graph, const WideChar* friendlyName,
                                       const WideChar* devicePath) {
    graph->SetTunerNames(friendlyName, devicePath);
    HRESULT hr = graph->AutoCreateMyDigitalTvFilterGraph();
    if (SUCCEEDED(hr)) hr = graph->SetTunerMode(DigitalTunerMode);
    if (SUCCEEDED(hr)) hr = graph->SetTransportStreanEncryptionFlag(EncryptionFlagOff);
    if (SUCCEEDED(hr)) hr = graph->PlayMyFilterGraph();
    // A Run that failed left nothing running.
    if (FAILED(hr)) StopAndTearDown(graph);
    return hr;
}

void CMyBonDriver::StopAndTearDown(MyFilterGraph* graph) {
    if (graph->GetRunState() != GraphStopped) graph->StopMyFilterGraph();
    graph->TearMyFilterGraph();
}

// The recovery thread makes and calls the graph's objects from the
// multithreaded apartment; a component whose class is bound to the
// apartment that made it would have those calls wait for a host thread,
// which may itself wait for DriverLock. Such an open recovers only as the
// host does (CloseTuner, OpenTuner).
RecoverySettings CMyBonDriver::SettingsForThisOpen() {
    RecoverySettings settings = recoverySettings_;
    std::wstring classId, model;
    if (settings.AutoRecover && CurrentGraph->FindApartmentBoundClass(&classId, &model)) {
        settings.AutoRecover = false;
        Trace("(CMyBonDriver::OpenTuner) self-recovery off for this open: a component's class "
              "is not registered ThreadingModel Both or Free");
#ifdef BDA_TRACE
        TraceLine(std::string(classId.begin(), classId.end()).c_str());
#endif
    }
    return settings;
}

void CMyBonDriver::CloseTuner() {
    Trace("(CMyBonDriver::CloseTuner)");
    std::shared_ptr<TunerRecovery> recovery;
    {
        ScopedLock lock(DriverLock);
        if (releasing_ || !hostOpen_) return;
        recovery = CloseLocked();
        closingRecovery_ = recovery;
    }
    if (recovery == nullptr) return;
    // The recovery thread may be waiting for DriverLock, or building a graph
    // aside, which it tears down itself once it sees the close.
    recovery->Join();
    ScopedLock lock(DriverLock);
    if (closingRecovery_ == recovery) closingRecovery_.reset();
}

// Ends the open: the recovery thread is told to stop (and handed back to be
// joined without the lock), the graph is stopped and torn down (or was, by
// a recovery; one it holds aside it tears down itself) and the stream goes.
// Runs under DriverLock.
std::shared_ptr<TunerRecovery> CMyBonDriver::CloseLocked() {
    hostOpen_ = false;
    std::shared_ptr<TunerRecovery> recovery = std::move(recovery_);
    if (recovery != nullptr) recovery->RequestStop();
    if (CurrentGraph->InService()) TearDownGraph();
    else DetachSampleCallback();
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
// lets its buffers go and the graph object leaves CurrentGraph. Allocates
// nothing.
CMyBonDriver::Ending CMyBonDriver::EndLocked() {
    releasing_ = true;
    if (CurrentDriver == this) CurrentDriver = nullptr;
    Ending ending;
    if (hostOpen_) ending.Recovery = CloseLocked();
    ending.Closing = std::move(closingRecovery_);
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
// lock free. Recovery threads end before the graph object they use goes;
// the graph object goes under the lock, before the apartment that made its
// objects is left.
void CMyBonDriver::FinishEnding(Ending ending) {
    if (ending.Recovery != nullptr) ending.Recovery->Join();
    if (ending.Closing != nullptr) ending.Closing->Join();
    ending.Recovery.reset();
    ending.Closing.reset();
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

bool CMyBonDriver::RecoveryWanted(uint32_t generation) const {
    return !releasing_ && hostOpen_ && generation == openGeneration_;
}

// ---- stream delivery -----------------------------------------------------------

void CMyBonDriver::AttachSampleCallback() {
    CurrentGraph->SetSampleCallback(&CMyBonDriver::OnTsSample, this);
    CallbackAttached.store(true, std::memory_order_release);
}

// A graph the recovery thread holds aside is its alone: only the driver's
// side of the callback is undone then.
void CMyBonDriver::DetachSampleCallback() {
    if (CurrentGraph != nullptr && CurrentGraph->InService())
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
    driver->recoveryTarget_.SampleArrived();
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
    if (releasing_) return;
    try {
        ChunkQueue.Clear();
    } catch (...) {
        // Nothing a purge can do without memory; the queue stays whole.
    }
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

bool CMyBonDriver::TuneRow(uint32_t space, uint32_t channel, bool* deviceGone) {
    if (deviceGone != nullptr) *deviceGone = false;
    if (releasing_ || !IsOpen()) return false;
    TuneRequest request;
    if (!channels_->FillTuneRequest(space, channel, &request)) return false;
    HRESULT hr = CurrentGraph->SetFrequency(&request.Tail);
    if (SUCCEEDED(hr)) hr = CurrentGraph->SetTuneRequest(&request);
    if (deviceGone != nullptr) *deviceGone = IsDeviceGone(hr);
    return SUCCEEDED(hr);
}

// The tune of either form, under DriverLock. A tune the device took is the
// channel a rebuild tunes again, and its PID filter reset is due until it
// reaches the device. One that failed only because the tuner is lost (the
// row exists) is the host's latest wish: the rebuild tunes it.
bool CMyBonDriver::SetChannelLocked(uint32_t space, uint32_t channel) {
    bool deviceGone = false;
    const bool tuned = TuneRow(space, channel, &deviceGone);
    if (tuned) {
        recoveryTarget_.Tuned(space, channel);
        HardwarePidFilter::ResetDue();
    } else if (hostOpen_ && (!IsOpen() || deviceGone) && channels_->Channel(space, channel) != nullptr) {
        recoveryTarget_.Wished(space, channel);
    }
    return tuned;
}

BOOL CMyBonDriver::SetChannel(DWORD space, DWORD channel) {
    Trace("(CMyBonDriver::SetChannel)");
    bool tuned;
    {
        ScopedLock lock(DriverLock);
        if (releasing_) return FALSE;
        tuned = SetChannelLocked(space, channel);
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
        if (releasing_) return FALSE;
        // Before any two-argument SetChannel the space is -1, which no table has.
        tuned = SetChannelLocked(static_cast<uint32_t>(CurrentSpace), channel);
        CurrentChannel = channel;
    }
    ResetPidFilterAfterTune(tuned);
    return tuned ? TRUE : FALSE;
}

// A new channel starts with a map holding only the null-packet PID. Runs
// after DriverLock is released (the reset takes it itself); a failed reset
// does not undo the tune, so its result is ignored. A reset that finds the
// tuner lost stays due for the rebuilt graph.
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
