#include "dshow/CBaseInputPin.h"

#include "dshow/CBaseFilter.h"
#include "dshow/CUnknown.h"

CBaseInputPin::CBaseInputPin(const WideChar* objectName, CBaseFilter* filter, ReentrantLock* lock,
                             HRESULT* result, const WideChar* pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() = default;

HRESULT STDMETHODCALLTYPE CBaseInputPin::QueryInterface(REFIID iid, void** object) {
    if (object && IsEqualGUID(iid, IID_IMemInputPin))
        return CUnknown::GetInterface(static_cast<IMemInputPin*>(this), object);
    return CBasePin::QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE CBaseInputPin::AddRef() { return CBasePin::AddRef(); }

ULONG STDMETHODCALLTYPE CBaseInputPin::Release() { return CBasePin::Release(); }

HRESULT STDMETHODCALLTYPE CBaseInputPin::BeginFlush() {
    flushing_ = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::EndFlush() {
    flushing_ = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::EndOfStream() { return CheckStreaming(); }

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    *allocator = nullptr;
    ScopedLock lock(*Lock());
    if (!allocator_) {
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IMemAllocator, allocator_.ReceiveVoid());
        if (FAILED(hr)) return hr;
    }
    return allocator_.CopyTo(allocator);
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    ScopedLock lock(*Lock());
    allocator_ = ComPtr<IMemAllocator>::AddRefOf(allocator);
    readOnly_ = readOnly != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
    (void)properties;
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming() {
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    if (!active_.load()) return VFW_E_WRONG_STATE;
    if (flushing_.load()) return S_FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    return CheckStreaming();
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count,
                                                         long* processed) {
    if (!processed) return E_POINTER;
    *processed = 0;
    if (!samples && count > 0) return E_POINTER;
    HRESULT hr = S_OK;
    while (*processed < count) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK) break;
        ++*processed;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::ReceiveCanBlock() {
    // We block when any connected downstream input pin may block (or cannot tell).
    CBaseFilter* filter = Filter();
    int outputs = 0;
    const int count = filter->GetPinCount();
    for (int i = 0; i < count; ++i) {
        CBasePin* pin = filter->GetPin(i);
        if (!pin || pin->Direction() != PINDIR_OUTPUT) continue;
        ++outputs;
        ComPtr<IMemInputPin> downstream;
        if (!pin->GetConnected() || FAILED(downstream.QueryFrom(pin->GetConnected())))
            return S_OK;
        if (downstream->ReceiveCanBlock() != S_FALSE) return S_OK;
    }
    return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT CBaseInputPin::BreakConnect() {
    if (allocator_) allocator_->Decommit();
    allocator_.Reset();
    readOnly_ = false;
    return S_OK;
}

HRESULT CBaseInputPin::Active() {
    flushing_ = false;
    active_ = true;
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    active_ = false;
    flushing_ = false;
    if (allocator_) return allocator_->Decommit();
    return S_OK;
}
