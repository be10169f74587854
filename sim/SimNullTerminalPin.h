// The null terminal's input pin: accepts every media type and drops every
// sample it receives.
#pragma once

#include "dshow/CBaseInputPin.h"

class SimNullTerminalPin : public CBaseInputPin {
public:
    SimNullTerminalPin(CBaseFilter* filter, HRESULT* result);
    ~SimNullTerminalPin() override;

    HRESULT CheckMediaType(const CMediaType* type) override;  // S_OK for any type
    // Refuses with the fault armed for SimOp::ConnectTerminalInput on the
    // default device, if any.
    HRESULT CheckConnect(IPin* pin) override;
    // The base's streaming checks, then the sample is dropped.
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
};
