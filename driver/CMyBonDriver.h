// CMyBonDriver: the object a host receives from CreateBonDriver. It
// implements the 17 slots of IBonDriver2 and owns the TS chunk queue, the
// chunk last handed out and the stream event. The capture graph itself lives
// in the process-wide CurrentGraph, which this object creates and destroys.
//
// Every host method runs under DriverLock for its whole body, except
// WaitTsStream, which waits on the stream event without it. The streaming
// thread enters only OnTsSample and takes only the queue's own lock.

#pragma once

#include <atomic>
#include <cstdint>

#include "channels/ChannelList.h"
#include "channels/ChannelPlan.h"
#include "devices/DeviceNames.h"
#include "driver/TsChunkQueue.h"
#include "platform/EventHandle.h"
#include "platform/IBonDriver.h"

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
    EventHandle StreamEvent;
    std::atomic<bool> CallbackAttached;
};
