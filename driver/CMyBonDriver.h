// CMyBonDriver: the object a host receives from CreateBonDriver. It
// implements the 17 slots of IBonDriver2 and owns the TS chunk queue, the
// chunk last handed out and the stream event. The capture graph itself lives
// in the process-wide CurrentGraph, which this object creates and destroys.
//
// Every host method runs under DriverLock for its whole body, except
// WaitTsStream, which waits on the stream event without it: it takes its own
// reference on the event under a small lock of its own (streamLock_), so a
// close on another thread wakes it and never closes a handle under it. The
// streaming thread enters only OnTsSample and takes only the queue's lock
// (and streamLock_ once per completed chunk, to signal it).
//
// The process has one driver object, in storage that lives as long as the
// library. Release ends it: its state is destroyed, its storage is not, so a
// careless host cannot turn it into freed memory. Two holders that each call
// Release, a reader still looping while another thread releases, a last call
// after Release: all of them meet an ended object, which refuses every call
// with the answers of a closed tuner that found no device. A new
// CreateBonDriver starts the same storage afresh; a stale holder then
// reaches the new object, which no driver can tell from a current one.
//
// Release does its work under DriverLock except stopping the remote-key
// thread, which runs with the lock free (the thread may be sending a key to
// a window whose thread waits for DriverLock). At process exit Release
// touches nothing: the other threads are gone, and with them whatever lock
// or event they would have released.
//
// The recovery thread (TunerRecovery, with DriverRecoveryTarget as its way
// in) may hold the graph aside while it tears a broken one down or builds a
// new one without DriverLock; host calls meanwhile get a lost tuner's
// answers at once. A recovery thread is joined before the graph object it
// uses is deleted: CloseTuner and Release join it with the lock free, and a
// Release that comes while CloseTuner is still joining (a message handled
// in its wait) joins the same thread. No exception leaves a host method: an
// allocation that fails gives the call's failure answer and undoes what the
// call had started.

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "channels/ChannelList.h"
#include "channels/ChannelPlan.h"
#include "devices/DeviceNames.h"
#include "driver/ComApartment.h"
#include "driver/DriverRecoveryTarget.h"
#include "driver/StreamSignal.h"
#include "driver/TunerRecovery.h"
#include "driver/TsChunkQueue.h"
#include "platform/IBonDriver.h"
#include "platform/Locks.h"

class MyFilterGraph;

constexpr size_t IniPathCapacity = 2048;
constexpr uint32_t TsChunkBytes = 192512;  // 1024 TS packets
constexpr uint32_t TsChunkLimit = 512;

class CMyBonDriver final : public IBonDriver2 {
public:
    // The process's driver object, started unless it runs already; null when
    // its storage cannot be set up or starting it failed (nothing of the
    // attempt is left then). Called under DriverLock. Starting initialises
    // COM for the calling thread, creates the graph object into
    // CurrentGraph, reads the INI file and the channel file and selects the
    // tuner. Problems of the set-up surface as a failing OpenTuner, and a
    // broken channel file leaves the built-in plan.
    static CMyBonDriver* StartShared();
    // Destroys the object's storage; only when the library is unloaded.
    static void DestroyStorage();

    // IBonDriver
    BOOL OpenTuner() override;
    void CloseTuner() override;
    BOOL SetChannel(BYTE channel) override;
    float GetSignalLevel() override;
    DWORD WaitTsStream(DWORD timeoutMs) override;
    DWORD GetReadyCount() override;
    BOOL GetTsStream(BYTE** data, DWORD* size, DWORD* remaining) override;
    BOOL GetTsStream(BYTE* destination, DWORD* size, DWORD* remaining) override;
    void PurgeTsStream() override;
    // Ends the object (and destroys the graph). Every later call, this one
    // included, is refused until a new CreateBonDriver.
    void Release() override;

    // IBonDriver2
    LPCWSTR GetTunerName() override;
    BOOL IsTunerOpening() override;
    // Names stay valid while the library is loaded, across Release.
    LPCWSTR EnumTuningSpace(DWORD space) override;
    LPCWSTR EnumChannelName(DWORD space, DWORD channel) override;
    BOOL SetChannel(DWORD space, DWORD channel) override;
    DWORD GetCurSpace() override;
    DWORD GetCurChannel() override;

    // The writer filter's SampleCallback; `context` is the driver object.
    static int32_t OnTsSample(void* context, const uint8_t* bytes, int32_t length);

private:
    friend class DriverRecoveryTarget;

    CMyBonDriver();  // an ended object: Start makes it live
    ~CMyBonDriver() = default;

    // What Release hands over to be ended with DriverLock free.
    struct Ending {
        std::shared_ptr<TunerRecovery> Recovery;
        std::shared_ptr<TunerRecovery> Closing;  // a CloseTuner still joins it
        MyFilterGraph* Graph = nullptr;
        ComApartment Com;
    };

    bool Start();
    void StartLocked();
    void UndoStart();
    Ending EndLocked();
    static void FinishEnding(Ending ending);
    BOOL OpenLocked();
    void UndoOpen();
    // Builds `graph` for the tuner (`friendlyName`, `devicePath`) with the
    // two set-up operations every open sends, then runs it; torn down again
    // on failure. Touches nothing of the driver object.
    static HRESULT BuildAndRunGraph(MyFilterGraph* graph, const WideChar* friendlyName,
                                    const WideChar* devicePath);
    // Stops `graph` if it runs and tears it down (no driver state).
    static void StopAndTearDown(MyFilterGraph* graph);
    RecoverySettings SettingsForThisOpen();
    std::shared_ptr<TunerRecovery> CloseLocked();
    void TearDownGraph();
    void CloseStream();
    bool RecoveryWanted(uint32_t generation) const;
    void ReadSettings();
    void LoadChannels();
    void SelectTunerDevice();
    void AttachSampleCallback();
    void DetachSampleCallback();
    void FreeHeldChunk();
    bool IsOpen() const;
    void OpenStreamSignal(std::shared_ptr<StreamSignal> signal);
    void CloseStreamSignal();
    void WaitForPushesToLeave();
    // Sends the row's request in its two operations; true when the device
    // accepted both. *deviceGone (may be null) tells whether a refusal came
    // from a device that is no longer there.
    bool TuneRow(uint32_t space, uint32_t channel, bool* deviceGone = nullptr);
    bool SetChannelLocked(uint32_t space, uint32_t channel);
    void ResetPidFilterAfterTune(bool tuned);

    WideChar IniFilePath[IniPathCapacity];
    int32_t ConfiguredDeviceId;
    WideChar TunerFriendlyName[DeviceNameCapacity];
    WideChar TunerDevicePath[DeviceNameCapacity];
    WideChar NetworkName[NetworkNameCapacity];
    // The plan of NetworkName, the channel file's or the built-in one; kept
    // by KeptChannelLists, never null.
    const ChannelList* channels_;
    int32_t CurrentSpace;
    int32_t CurrentChannel;
    TsChunkQueue ChunkQueue;
    TsChunk* HeldChunk;
    std::shared_ptr<StreamSignal> StreamEvent;  // null while the tuner is closed
    std::atomic<bool> CallbackAttached;
    PlainLock streamLock_;  // guards StreamEvent; held only to copy, swap or signal it
    std::atomic<int32_t> pushesInFlight_{0};  // OnTsSample calls under way
    ComApartment com_;
    // True from the first Release until the next start (and before the
    // first): every host call refuses. Read and set under DriverLock, except
    // by an exit-time Release, when no other thread is left.
    bool releasing_ = true;
    // The open as the host sees it: from a successful OpenTuner to
    // CloseTuner, while the graph may be torn down and rebuilt by the
    // recovery thread. Under DriverLock.
    bool hostOpen_ = false;
    uint32_t openGeneration_ = 0;  // counts opens; a recovery acts for its own
    std::shared_ptr<TunerRecovery> recovery_;
    // A recovery thread that CloseTuner stopped and joins with the lock
    // free; a Release or an OpenTuner meanwhile joins it too.
    std::shared_ptr<TunerRecovery> closingRecovery_;
    RecoverySettings recoverySettings_;
    DriverRecoveryTarget recoveryTarget_{*this};
};
