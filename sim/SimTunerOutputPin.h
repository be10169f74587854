// The tuner filter's TS output pin and its streaming thread.
//
// The thread runs only while the filter runs (a live source delivers nothing
// while paused). Each turn it takes a sample from the allocator without
// waiting (AM_GBF_NOWAIT, so stopping never waits on a buffer held
// downstream), fills it with the next size of the device's sample-size
// pattern from SimDevice::ReadTs and delivers it. With a bit rate set it
// sleeps until the bytes sent so far are due; with 0 it runs unpaced.
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

    // Called by the filter under its lock.
    void StartStreaming();
    void StopStreaming();

private:
    void StreamLoop();
    // Sleeps until `due` or until stopping; false when stopping.
    bool WaitUntil(std::chrono::steady_clock::time_point due);
    bool Stopping();

    SimTunerFilter* tuner_;
    std::thread thread_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stop_ = false;
};
