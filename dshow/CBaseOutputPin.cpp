// Allocator negotiation and delivery; see CBaseOutputPin.h for the order.
#include "dshow/CBaseOutputPin.h"

#include "platform/Trace.h"

CBaseOutputPin::CBaseOutputPin(const WideChar* objectName, CBaseFilter* filter,
                               ReentrantLock* lock, HRESULT* result, const WideChar* pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() = default;

HRESULT STDMETHODCALLTYPE CBaseOutputPin::EndOfStream() { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE CBaseOutputPin::BeginFlush() { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE CBaseOutputPin::EndFlush() { return E_UNEXPECTED; }

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    return inputPin_.QueryFrom(pin, IID_IMemInputPin);
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (allocator_) allocator_->Decommit();
    allocator_.Reset();
    inputPin_.Reset();
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* receivePin) {
    (void)receivePin;
    if (!inputPin_) return E_UNEXPECTED;
    return DecideAllocator(inputPin_.Get(), allocator_.Receive());
}

HRESULT CBaseOutputPin::TryAllocator(IMemInputPin* pin, IMemAllocator* allocator,
                                     const ALLOCATOR_PROPERTIES& requirements) {
    ALLOCATOR_PROPERTIES request = requirements;
    HRESULT hr = DecideBufferSize(allocator, &request);
    if (FAILED(hr)) return hr;
    return pin->NotifyAllocator(allocator, FALSE);
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
    if (!pin || !allocator) return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES requirements = {};
    if (FAILED(pin->GetAllocatorRequirements(&requirements))) requirements = {};
    if (requirements.cbAlign < 1) requirements.cbAlign = 1;

    ComPtr<IMemAllocator> candidate;
    HRESULT hr = pin->GetAllocator(candidate.Receive());
    if (SUCCEEDED(hr) && candidate) {
        hr = TryAllocator(pin, candidate.Get(), requirements);
        if (SUCCEEDED(hr)) {
            *allocator = candidate.Detach();
            return S_OK;
        }
    }
    hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          candidate.ReceiveVoid());
    if (FAILED(hr)) return hr;
    hr = TryAllocator(pin, candidate.Get(), requirements);
    if (FAILED(hr)) {
        Trace("(CBaseOutputPin::DecideAllocator) no allocator", hr);
        return hr;
    }
    *allocator = candidate.Detach();
    return S_OK;
}

HRESULT CBaseOutputPin::Active() {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* stop, DWORD flags) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
    if (!inputPin_) return VFW_E_NOT_CONNECTED;
    return inputPin_->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    IPin* peer = GetConnected();
    return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    IPin* peer = GetConnected();
    return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    IPin* peer = GetConnected();
    return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    IPin* peer = GetConnected();
    return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
