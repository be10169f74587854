#include "dshow/CTransInPlaceOutputPin.h"

#include "dshow/CTransInPlaceFilter.h"
#include "dshow/CTransformInputPin.h"

CTransInPlaceOutputPin::CTransInPlaceOutputPin(const WideChar* objectName,
                                               CTransInPlaceFilter* filter, HRESULT* result,
                                               const WideChar* pinName)
    : CTransformOutputPin(objectName, filter, result, pinName) {}

HRESULT CTransInPlaceOutputPin::CheckMediaType(const CMediaType* type) {
    CTransformInputPin* input = TransformFilter()->InputPin();
    if (input && input->IsConnected())
        return input->CurrentMediaType().Equals(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = TransformFilter()->CheckInputType(type);
    return hr == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTransInPlaceOutputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    CTransformInputPin* input = TransformFilter()->InputPin();
    if (!input || !input->IsConnected()) return E_UNEXPECTED;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return type->Set(input->CurrentMediaType());
}
