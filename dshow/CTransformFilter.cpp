#include "dshow/CTransformFilter.h"

#include "dshow/CTransformInputPin.h"
#include "dshow/CTransformOutputPin.h"

#include <new>

CTransformFilter::CTransformFilter(const WideChar* objectName, IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(objectName, outer, clsid) {}

CTransformFilter::~CTransformFilter() {
    delete input_.load();
    delete output_.load();
}

int CTransformFilter::GetPinCount() { return 2; }

HRESULT CTransformFilter::InstallPins(CTransformInputPin* input, CTransformOutputPin* output) {
    if (!input || !output) {
        delete input;
        delete output;
        return E_OUTOFMEMORY;
    }
    ScopedLock lock(FilterLock());
    if (InputPin()) {
        delete input;
        delete output;
        return S_OK;
    }
    // Output first: whoever sees the input pin also sees the output pin.
    output_.store(output, std::memory_order_release);
    input_.store(input, std::memory_order_release);
    return S_OK;
}

CBasePin* CTransformFilter::GetPin(int n) {
    if (!InputPin()) {
        HRESULT hr = S_OK;
        InstallPins(new (std::nothrow) CTransformInputPin(nullptr, this, &hr, L"Input"),
                    new (std::nothrow) CTransformOutputPin(nullptr, this, &hr, L"Output"));
    }
    if (n == 0) return InputPin();
    if (n == 1) return OutputPin();
    return nullptr;
}

HRESULT CTransformFilter::Transform(IMediaSample* in, IMediaSample* out) {
    (void)in;
    (void)out;
    return E_UNEXPECTED;
}

HRESULT CTransformFilter::StartStreaming() { return S_OK; }

HRESULT CTransformFilter::StopStreaming() { return S_OK; }

HRESULT CTransformFilter::AlterQuality(Quality quality) {
    (void)quality;
    return S_FALSE;
}

HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
    (void)direction;
    (void)type;
    return S_OK;
}

HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION direction, IPin* pin) {
    (void)direction;
    (void)pin;
    return S_OK;
}

HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION direction) {
    (void)direction;
    return S_OK;
}

HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) {
    (void)direction;
    (void)receivePin;
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
    CTransformOutputPin* output = OutputPin();
    if (!output || !output->IsConnected()) return S_OK;  // nothing downstream: consumed
    ComPtr<IMediaSample> out;
    HRESULT hr = output->GetDeliveryBuffer(out.Receive(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (SUCCEEDED(sample->GetTime(&start, &stop))) out->SetTime(&start, &stop);
    out->SetSyncPoint(sample->IsSyncPoint() == S_OK);
    out->SetDiscontinuity(sample->IsDiscontinuity() == S_OK);
    hr = Transform(sample, out.Get());
    if (hr == S_FALSE) return S_OK;  // the subclass dropped it
    if (FAILED(hr)) return hr;
    return output->Deliver(out.Get());
}

HRESULT CTransformFilter::EndOfStream() {
    CTransformOutputPin* output = OutputPin();
    return output && output->IsConnected() ? output->DeliverEndOfStream() : S_OK;
}

HRESULT CTransformFilter::BeginFlush() {
    CTransformOutputPin* output = OutputPin();
    return output && output->IsConnected() ? output->DeliverBeginFlush() : S_OK;
}

HRESULT CTransformFilter::EndFlush() {
    CTransformOutputPin* output = OutputPin();
    return output && output->IsConnected() ? output->DeliverEndFlush() : S_OK;
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CTransformOutputPin* output = OutputPin();
    return output && output->IsConnected() ? output->DeliverNewSegment(start, stop, rate) : S_OK;
}
