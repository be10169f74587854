// CTransInPlaceInputPin: accepts a type the filter accepts and, once the
// output is connected, only a type the downstream pin accepts too (the
// sample travels on with it unchanged).
#pragma once

#include "dshow/CTransformInputPin.h"

class CTransInPlaceFilter;

class CTransInPlaceInputPin : public CTransformInputPin {
public:
    CTransInPlaceInputPin(const WideChar* objectName, CTransInPlaceFilter* filter,
                          HRESULT* result, const WideChar* pinName);

    HRESULT CheckMediaType(const CMediaType* type) override;
};
