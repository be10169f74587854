#include "dshow/CTransInPlaceFilter.h"

#include "dshow/CTransInPlaceInputPin.h"
#include "dshow/CTransInPlaceOutputPin.h"

#include <new>

CTransInPlaceFilter::CTransInPlaceFilter(const WideChar* objectName, IUnknown* outer,
                                         REFCLSID clsid, HRESULT* result, bool modifiesData)
    : CTransformFilter(objectName, outer, clsid), modifiesData_(modifiesData) {
    (void)result;
}

CTransInPlaceFilter::~CTransInPlaceFilter() = default;

CBasePin* CTransInPlaceFilter::GetPin(int n) {
    if (!InputPin()) {
        HRESULT hr = S_OK;
        InstallPins(new (std::nothrow) CTransInPlaceInputPin(nullptr, this, &hr, L"Input"),
                    new (std::nothrow) CTransInPlaceOutputPin(nullptr, this, &hr, L"Output"));
    }
    if (n == 0) return InputPin();
    if (n == 1) return OutputPin();
    return nullptr;
}

HRESULT CTransInPlaceFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
    (void)in;
    (void)out;
    return S_OK;
}

HRESULT CTransInPlaceFilter::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
    // Samples travel on in the upstream allocator's buffers; this allocator
    // only has to satisfy the downstream pin, so ask for the least it allows.
    if (!allocator || !request) return E_POINTER;
    ALLOCATOR_PROPERTIES wanted = *request;
    if (wanted.cBuffers < 1) wanted.cBuffers = 1;
    if (wanted.cbBuffer < 1) wanted.cbBuffer = 1;
    if (wanted.cbAlign < 1) wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT CTransInPlaceFilter::GetMediaType(int position, CMediaType* type) {
    (void)position;
    (void)type;
    return E_UNEXPECTED;
}

HRESULT CTransInPlaceFilter::CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) {
    (void)direction;
    (void)receivePin;
    // One type on both sides: the sample is handed on as it came.
    CBasePin* input = InputPin();
    CBasePin* output = OutputPin();
    if (input && output && input->IsConnected() && output->IsConnected() &&
        !input->CurrentMediaType().Equals(output->CurrentMediaType()))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample) {
    HRESULT hr = Transform(sample);
    if (hr == S_FALSE) return S_OK;  // dropped by the subclass
    if (FAILED(hr)) return hr;
    CTransformOutputPin* output = OutputPin();
    if (!output || !output->IsConnected()) return S_OK;
    return output->Deliver(sample);
}
