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
    if (thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(stopMutex_);
        stop_ = false;
    }
    thread_ = std::thread([this] { StreamLoop(); });
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

bool SimTunerOutputPin::Stopping() {
    std::lock_guard<std::mutex> guard(stopMutex_);
    return stop_;
}

bool SimTunerOutputPin::WaitUntil(std::chrono::steady_clock::time_point due) {
    std::unique_lock<std::mutex> guard(stopMutex_);
    return !stopSignal_.wait_until(guard, due, [this] { return stop_; });
}

void SimTunerOutputPin::StreamLoop() {
    using Clock = std::chrono::steady_clock;
    SimDevice* device = tuner_->Device();
    // The pace restarts whenever the rate changes (a retune to a replayed
    // recording plays at its own rate) and after an idle spell (a silent
    // channel), so neither a burst nor a long stall follows.
    Clock::time_point start = Clock::now();
    uint64_t sent = 0;
    uint64_t pacedRate = 0;
    while (!Stopping()) {
        ComPtr<IMediaSample> sample;
        if (GetDeliveryBuffer(sample.Receive(), nullptr, nullptr, AM_GBF_NOWAIT) != S_OK ||
            !sample) {
            if (!WaitUntil(Clock::now() + kIdleWait)) break;
            continue;
        }
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data))) break;
        const size_t room = static_cast<size_t>(sample->GetSize());
        const size_t got = device->ReadTs(data, std::min(device->NextSampleSize(), room));
        if (got == 0) {
            pacedRate = 0;
            sample.Reset();
            if (!WaitUntil(Clock::now() + kIdleWait)) break;
            continue;
        }
        sample->SetActualDataLength(static_cast<long>(got));
        if (FAILED(Deliver(sample.Get()))) break;
        const uint64_t bitRate = device->BitRate();
        if (bitRate != pacedRate) {
            pacedRate = bitRate;
            start = Clock::now();
            sent = 0;
        }
        sent += got;
        if (bitRate == 0) continue;
        const auto due = start + std::chrono::microseconds(sent * 8 * 1000000 / bitRate);
        if (!WaitUntil(std::chrono::time_point_cast<Clock::duration>(due))) break;
    }
}
