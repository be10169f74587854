// Input pin of the receiver components that must never connect: it refuses
// every connection before any media type is tried.
#pragma once

#include "dshow/CBaseInputPin.h"

class SimRefusingPin : public CBaseInputPin {
public:
    SimRefusingPin(CBaseFilter* filter, HRESULT* result);
    ~SimRefusingPin() override;

    HRESULT CheckMediaType(const CMediaType* type) override;  // refuses all
    HRESULT CheckConnect(IPin* pin) override;                 // refuses all
};
