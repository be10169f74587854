// CTransInPlaceOutputPin: offers exactly the input's connection type and
// accepts only that one (or, while the input is unconnected, what the filter
// accepts on its input).
#pragma once

#include "dshow/CTransformOutputPin.h"

class CTransInPlaceFilter;

class CTransInPlaceOutputPin : public CTransformOutputPin {
public:
    CTransInPlaceOutputPin(const WideChar* objectName, CTransInPlaceFilter* filter,
                           HRESULT* result, const WideChar* pinName);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
};
