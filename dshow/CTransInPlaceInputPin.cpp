#include "dshow/CTransInPlaceInputPin.h"

#include "dshow/CTransInPlaceFilter.h"
#include "dshow/CTransformOutputPin.h"

CTransInPlaceInputPin::CTransInPlaceInputPin(const WideChar* objectName,
                                             CTransInPlaceFilter* filter, HRESULT* result,
                                             const WideChar* pinName)
    : CTransformInputPin(objectName, filter, result, pinName) {}

HRESULT CTransInPlaceInputPin::CheckMediaType(const CMediaType* type) {
    HRESULT hr = TransformFilter()->CheckInputType(type);
    if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    CTransformOutputPin* output = TransformFilter()->OutputPin();
    if (output && output->IsConnected() && output->GetConnected()->QueryAccept(type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}
