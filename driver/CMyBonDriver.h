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
// Release stops the remote-key thread without DriverLock held (the thread
// may be sending a key to a window whose thread waits for DriverLock), and
// every host call that arrives meanwhile, on any thread, is refused.

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "channels/ChannelList.h"
#include "channels/ChannelPlan.h"
#include "devices/DeviceNames.h"
#include "driver/ComApartment.h"
#include "driver/StreamSignal.h"
#include "driver/TsChunkQueue.h"
#include "platform/IBonDriver.h"
#include "platform/Locks.h"

class MyFilterGraph;

constexpr size_t IniPathCapacity = 2048;
constexpr uint32_t TsChunkBytes = 192512;  // 1024 TS packets
constexpr uint32_t TsChunkLimit = 512;

class CMyBonDriver final : public IBonDriver2 {
public:
    // Takes DriverLock, initialises COM for the calling thread, creates the
    // graph object into CurrentGraph, reads the INI file and the channel
    // file and selects the tuner. Never fails visibly: problems surface as a
    // failing OpenTuner, and a broken channel file leaves the built-in plan.
    CMyBonDriver();

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
    // Destroys the object (and the graph); the host must not use it after.
    // A second call while the first is under way does nothing.
    void Release() override;

    // IBonDriver2
    LPCWSTR GetTunerName() override;
    BOOL IsTunerOpening() override;
    // Names belong to the driver and stay valid until Release.
    LPCWSTR EnumTuningSpace(DWORD space) override;
    LPCWSTR EnumChannelName(DWORD space, DWORD channel) override;
    BOOL SetChannel(DWORD space, DWORD channel) override;
    DWORD GetCurSpace() override;
    DWORD GetCurChannel() override;

    // The writer filter's SampleCallback; `context` is the driver object.
    static int32_t OnTsSample(void* context, const uint8_t* bytes, int32_t length);

private:
    ~CMyBonDriver() = default;  // only Release destroys the object

    void ReadSettings();
    void LoadChannels();
    void SelectTunerDevice();
    void AttachSampleCallback();
    void DetachSampleCallback();
    void FreeHeldChunk();
    bool IsOpen() const;
    void OpenStreamSignal(std::shared_ptr<StreamSignal> signal);
    void CloseStreamSignal();
    void EndGraph(MyFilterGraph* graph);
    bool TuneRow(uint32_t space, uint32_t channel);
    void ResetPidFilterAfterTune(bool tuned);

    WideChar IniFilePath[IniPathCapacity];
    int32_t ConfiguredDeviceId;
    WideChar TunerFriendlyName[DeviceNameCapacity];
    WideChar TunerDevicePath[DeviceNameCapacity];
    WideChar NetworkName[NetworkNameCapacity];
    ChannelList channels_;  // the plan of NetworkName: the channel file's or the built-in one
    int32_t CurrentSpace;
    int32_t CurrentChannel;
    TsChunkQueue ChunkQueue;
    TsChunk* HeldChunk;
    std::shared_ptr<StreamSignal> StreamEvent;  // null while the tuner is closed
    std::atomic<bool> CallbackAttached;
    PlainLock streamLock_;  // guards StreamEvent; held only to copy, swap or signal it
    std::atomic<int32_t> pushesInFlight_{0};  // OnTsSample calls under way
    ComApartment com_;
    bool releasing_ = false;  // set by Release under DriverLock; every host call refuses
};
