#include "sim/SimTunerInputPin.h"

#include "sim/SimClassIds.h"
#include "sim/SimControl.h"
#include "sim/SimTunerFilter.h"

SimTunerInputPin::SimTunerInputPin(SimTunerFilter* filter, HRESULT* result)
    : CBaseInputPin(nullptr, filter, &filter->FilterLock(), result, L"Input"), tuner_(filter) {
    SimProcessControl()->Counters()->Created(SimObject::Pin);
}

SimTunerInputPin::~SimTunerInputPin() {
    SimProcessControl()->Counters()->Destroyed(SimObject::Pin);
}

HRESULT SimTunerInputPin::CheckMediaType(const CMediaType* type) {
    if (type == nullptr) return E_POINTER;
    return type->majortype == SimMediaTypeAntenna ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SimTunerInputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    type->Clear();
    type->majortype = SimMediaTypeAntenna;
    type->formattype = FORMAT_None;
    return S_OK;
}

HRESULT SimTunerInputPin::CheckConnect(IPin* pin) {
    const HRESULT fault = tuner_->Device()->CheckFilterFault(SimOp::ConnectTunerInput);
    if (FAILED(fault)) return fault;
    return CBaseInputPin::CheckConnect(pin);
}

HRESULT STDMETHODCALLTYPE SimTunerInputPin::Receive(IMediaSample* sample) {
    return CBaseInputPin::Receive(sample);
}
