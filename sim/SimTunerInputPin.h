// The tuner filter's input pin: receives the network provider's antenna
// connection. Nothing flows over it; samples that arrive are dropped.
#pragma once

#include "dshow/CBaseInputPin.h"

class SimTunerFilter;

class SimTunerInputPin : public CBaseInputPin {
public:
    SimTunerInputPin(SimTunerFilter* filter, HRESULT* result);
    ~SimTunerInputPin() override;

    HRESULT CheckMediaType(const CMediaType* type) override;  // antenna only
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // The device's ConnectTunerInput fault point, then the base checks.
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

private:
    SimTunerFilter* tuner_;
};
