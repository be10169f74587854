// The tuner filter's TS output pin and its streaming thread.
//
// The thread lives from Run to Stop and delivers only while the filter runs
// (a live source delivers nothing while paused). Pause merely holds it and
// never waits for it: a renderer downstream may keep it inside Receive until
// the graph runs again or stops. Stop ends it and waits, as the base classes'
// sources do: the graph stops the filters downstream first, and a stopped
// filter returns from Receive. Each turn the thread takes a sample from the
// allocator without waiting (AM_GBF_NOWAIT, so stopping never waits on a
// buffer held downstream), fills it with the next size of the device's
// sample-size pattern from SimDevice::ReadTs (through the filter's handle,
// nothing once aborted) and delivers it unstamped, as a
// live TS source does: the stream carries its own clock, and a stamp would
// have a renderer hold the sample until the graph clock reached it. With a
// bit rate set it sleeps until the bytes sent since the last Run are due;
// with 0 it runs unpaced.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "dshow/CBaseOutputPin.h"

class SimTunerFilter;

class SimTunerOutputPin : public CBaseOutputPin {
public:
    // Size of each allocator buffer: the largest sample the pattern may ask
    // for (larger pattern entries are cut to it).
    static constexpr long BufferSize = 1 << 20;
    static constexpr long BufferCount = 4;

    SimTunerOutputPin(SimTunerFilter* filter, HRESULT* result);
    ~SimTunerOutputPin() override;

    HRESULT CheckMediaType(const CMediaType* type) override;  // MEDIATYPE_Stream
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // The device's ConnectTunerOutput fault point, then the base checks.
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // Called by the filter under its lock. Start: starts the thread, or lets
    // a held one deliver again. Hold: stops delivering, without waiting.
    // Stop: ends the thread and waits for it.
    void StartStreaming();
    void HoldStreaming();
    void StopStreaming();

private:
    void StreamLoop();
    // Fills and delivers one sample: its bytes, 0 when none was ready, -1
    // when the loop must end.
    long DeliverOne(bool discontinuity);
    // Waits while held; false when stopping. *run receives the number of
    // the Run the thread now streams for.
    bool WaitWhileHeld(uint64_t* run);
    // Sleeps until `due`, a hold or stopping; false when stopping.
    bool WaitUntil(std::chrono::steady_clock::time_point due);

    SimTunerFilter* tuner_;
    std::thread thread_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stop_ = false;
    bool hold_ = false;
    uint64_t run_ = 0;    // counts StartStreaming calls
    bool ended_ = false;  // the thread left its loop (a delivery failed)
};
