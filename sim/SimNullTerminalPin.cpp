#include "sim/SimNullTerminalPin.h"

#include "dshow/CBaseFilter.h"
#include "sim/SimControl.h"

SimNullTerminalPin::SimNullTerminalPin(CBaseFilter* filter, HRESULT* result)
    : CBaseInputPin(nullptr, filter, &filter->FilterLock(), result, L"In") {
    SimProcessControl()->Counters()->Created(SimObject::Pin);
}

SimNullTerminalPin::~SimNullTerminalPin() {
    SimProcessControl()->Counters()->Destroyed(SimObject::Pin);
}

HRESULT SimNullTerminalPin::CheckMediaType(const CMediaType* type) {
    return type != nullptr ? S_OK : E_POINTER;
}

HRESULT SimNullTerminalPin::CheckConnect(IPin* pin) {
    const HRESULT fault =
        SimProcessControl()->DefaultDevice()->CheckFilterFault(SimOp::ConnectTerminalInput);
    if (FAILED(fault)) return fault;
    return CBaseInputPin::CheckConnect(pin);
}

HRESULT STDMETHODCALLTYPE SimNullTerminalPin::Receive(IMediaSample* sample) {
    return CBaseInputPin::Receive(sample);
}
