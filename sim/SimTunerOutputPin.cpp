#include "sim/SimTunerOutputPin.h"

#include <algorithm>

#include "sim/SimClassIds.h"
#include "sim/SimControl.h"
#include "sim/SimDevice.h"
#include "sim/SimTunerFilter.h"

namespace {
// How long the thread waits for a free buffer or for a tune with a channel.
constexpr std::chrono::milliseconds kIdleWait(2);
}  // namespace

SimTunerOutputPin::SimTunerOutputPin(SimTunerFilter* filter, HRESULT* result)
    : CBaseOutputPin(nullptr, filter, &filter->FilterLock(), result, L"MPEG-2 Transport"),
      tuner_(filter) {
    SimProcessControl()->Counters()->Created(SimObject::Pin);
}

SimTunerOutputPin::~SimTunerOutputPin() {
    StopStreaming();
    SimProcessControl()->Counters()->Destroyed(SimObject::Pin);
}

HRESULT SimTunerOutputPin::CheckMediaType(const CMediaType* type) {
    if (type == nullptr) return E_POINTER;
    return type->majortype == SimMediaTypeStream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SimTunerOutputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    type->Clear();
    type->majortype = SimMediaTypeStream;
    type->subtype = SimMediaSubtypeTransport;
    type->formattype = FORMAT_None;
    type->bFixedSizeSamples = FALSE;
    type->lSampleSize = 0;
    return S_OK;
}

HRESULT SimTunerOutputPin::CheckConnect(IPin* pin) {
    const HRESULT fault = tuner_->Device()->CheckFilterFault(SimOp::ConnectTunerOutput);
    if (FAILED(fault)) return fault;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT SimTunerOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                            ALLOCATOR_PROPERTIES* request) {
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(wanted.cBuffers, BufferCount);
    wanted.cbBuffer = BufferSize;
    wanted.cbAlign = std::max(wanted.cbAlign, 1L);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < BufferSize ? E_FAIL : S_OK;
}

void SimTunerOutputPin::StartStreaming() {
    if (thread_.joinable()) {
        std::unique_lock<std::mutex> guard(stopMutex_);
        if (!ended_) {
            hold_ = false;
            ++run_;
            guard.unlock();
            stopSignal_.notify_all();
            return;
        }
        guard.unlock();
        thread_.join();  // it has left its loop: no wait on anything downstream
    }
    {
        std::lock_guard<std::mutex> guard(stopMutex_);
        stop_ = false;
        hold_ = false;
        ended_ = false;
        ++run_;
    }
    thread_ = std::thread([this] { StreamLoop(); });
}

void SimTunerOutputPin::HoldStreaming() {
    {
        std::lock_guard<std::mutex> guard(stopMutex_);
        hold_ = true;
    }
    stopSignal_.notify_all();
}

void SimTunerOutputPin::StopStreaming() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(stopMutex_);
        stop_ = true;
    }
    stopSignal_.notify_all();
    thread_.join();
}

bool SimTunerOutputPin::WaitWhileHeld(uint64_t* run) {
    std::unique_lock<std::mutex> guard(stopMutex_);
    stopSignal_.wait(guard, [this] { return stop_ || !hold_; });
    *run = run_;
    return !stop_;
}

bool SimTunerOutputPin::WaitUntil(std::chrono::steady_clock::time_point due) {
    std::unique_lock<std::mutex> guard(stopMutex_);
    stopSignal_.wait_until(guard, due, [this] { return stop_ || hold_; });
    return !stop_;
}

// An aborted stream, and a handle older than the device's last replug,
// deliver nothing; the thread idles until Stop.
long SimTunerOutputPin::DeliverOne(bool discontinuity) {
    if (tuner_->Aborted()) return 0;
    ComPtr<IMediaSample> sample;
    if (GetDeliveryBuffer(sample.Receive(), nullptr, nullptr, AM_GBF_NOWAIT) != S_OK || !sample)
        return 0;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return -1;
    SimDevice* device = tuner_->Device();
    const size_t room = static_cast<size_t>(sample->GetSize());
    const size_t wanted = std::min(device->NextSampleSize(), room);
    SimDevice* handle = tuner_->Handle();
    const auto delivering = handle->HoldDelivery();
    const size_t got = handle->ReadTs(data, wanted);
    if (got == 0) return 0;
    sample->SetActualDataLength(static_cast<long>(got));
    sample->SetTime(nullptr, nullptr);
    sample->SetMediaTime(nullptr, nullptr);
    sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
    if (FAILED(Deliver(sample.Get()))) return -1;
    return static_cast<long>(got);
}

// Pacing restarts with every Run (a live source sends nothing for the time
// it was held and does not catch up afterwards), whenever the rate changes
// (a retune to a replayed recording plays at its own rate) and after an idle
// spell (a silent channel), so neither a burst nor a long stall follows.
void SimTunerOutputPin::StreamLoop() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point start;
    uint64_t sent = 0;
    uint64_t pacedRate = 0;
    bool discontinuity = true;
    uint64_t streamingFor = 0;
    for (uint64_t run = 0; WaitWhileHeld(&run);) {
        if (run != streamingFor) {
            streamingFor = run;
            pacedRate = 0;
            discontinuity = true;
        }
        const long got = DeliverOne(discontinuity);
        if (got < 0) break;
        if (got == 0) {
            pacedRate = 0;
            if (!WaitUntil(Clock::now() + kIdleWait)) break;
            continue;
        }
        discontinuity = false;
        const uint64_t bitRate = tuner_->Device()->BitRate();
        if (bitRate != pacedRate) {
            pacedRate = bitRate;
            start = Clock::now();
            sent = 0;
        }
        sent += static_cast<uint64_t>(got);
        if (bitRate == 0) continue;
        const auto due = start + std::chrono::microseconds(sent * 8 * 1000000 / bitRate);
        if (!WaitUntil(std::chrono::time_point_cast<Clock::duration>(due))) break;
    }
    std::lock_guard<std::mutex> guard(stopMutex_);
    ended_ = true;
}
