// The transform's input pin. Receive and EndOfStream run on the upstream
// streaming thread under the filter's streaming lock only; flushing and the
// Active/Inactive calls run under the filter lock and take the streaming lock
// inside it (the one lock order).
#include "dshow/CTransformInputPin.h"

#include "dshow/CTransformFilter.h"

CTransformInputPin::CTransformInputPin(const WideChar* objectName, CTransformFilter* filter,
                                       HRESULT* result, const WideChar* pinName)
    : CBaseInputPin(objectName, filter, &filter->FilterLock(), result, pinName),
      transform_(filter) {}

HRESULT STDMETHODCALLTYPE CTransformInputPin::Receive(IMediaSample* sample) {
    ScopedLock streaming(transform_->StreamingLock());
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return transform_->Receive(sample);
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndOfStream() {
    ScopedLock streaming(transform_->StreamingLock());
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return transform_->EndOfStream();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::BeginFlush() {
    ScopedLock lock(*Lock());
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    CBaseInputPin::BeginFlush();
    return transform_->BeginFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndFlush() {
    ScopedLock lock(*Lock());
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = transform_->EndFlush();
    CBaseInputPin::EndFlush();
    return hr;
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                         double rate) {
    CBaseInputPin::NewSegment(start, stop, rate);
    return transform_->NewSegment(start, stop, rate);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* type) {
    return transform_->CheckInputType(type);
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* type) {
    HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return transform_->SetMediaType(PINDIR_INPUT, type);
}

HRESULT CTransformInputPin::CheckConnect(IPin* pin) {
    HRESULT hr = CBaseInputPin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    return transform_->CheckConnect(PINDIR_INPUT, pin);
}

HRESULT CTransformInputPin::BreakConnect() {
    transform_->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(hr)) return hr;
    return transform_->CompleteConnect(PINDIR_INPUT, receivePin);
}

HRESULT CTransformInputPin::Active() {
    HRESULT hr = CBaseInputPin::Active();
    if (FAILED(hr)) return hr;
    {
        ScopedLock streaming(transform_->StreamingLock());
        hr = transform_->StartStreaming();
    }
    if (FAILED(hr)) {
        CBaseInputPin::Inactive();
        return hr;
    }
    streaming_ = true;
    return S_OK;
}

HRESULT CTransformInputPin::Inactive() {
    // Refuse new samples first, then wait for one in flight (streaming lock).
    HRESULT hr = CBaseInputPin::Inactive();
    ScopedLock streaming(transform_->StreamingLock());
    if (!streaming_) return hr;
    HRESULT stopped = transform_->StopStreaming();
    if (FAILED(stopped)) return stopped;
    streaming_ = false;
    return hr;
}
