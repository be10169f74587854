#include "dshow/CTransformOutputPin.h"

#include "dshow/CTransformFilter.h"
#include "dshow/CTransformInputPin.h"

CTransformOutputPin::CTransformOutputPin(const WideChar* objectName, CTransformFilter* filter,
                                         HRESULT* result, const WideChar* pinName)
    : CBaseOutputPin(objectName, filter, &filter->FilterLock(), result, pinName),
      transform_(filter) {}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* type) {
    CTransformInputPin* input = transform_->InputPin();
    if (!input || !input->IsConnected()) return E_INVALIDARG;
    return transform_->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* type) {
    CTransformInputPin* input = transform_->InputPin();
    if (!input || !input->IsConnected()) return E_UNEXPECTED;
    return transform_->GetMediaType(position, type);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* type) {
    HRESULT hr = CBaseOutputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return transform_->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
    CTransformInputPin* input = transform_->InputPin();
    if (!input || !input->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = CBaseOutputPin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    return transform_->CheckConnect(PINDIR_OUTPUT, pin);
}

HRESULT CTransformOutputPin::BreakConnect() {
    transform_->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
    if (FAILED(hr)) return hr;
    return transform_->CompleteConnect(PINDIR_OUTPUT, receivePin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
    return transform_->DecideBufferSize(allocator, request);
}
