#include "sim/SimRefusingPin.h"

#include "dshow/CBaseFilter.h"
#include "sim/SimControl.h"

SimRefusingPin::SimRefusingPin(CBaseFilter* filter, HRESULT* result)
    : CBaseInputPin(nullptr, filter, &filter->FilterLock(), result, L"Input") {
    SimProcessControl()->Counters()->Created(SimObject::Pin);
}

SimRefusingPin::~SimRefusingPin() { SimProcessControl()->Counters()->Destroyed(SimObject::Pin); }

HRESULT SimRefusingPin::CheckMediaType(const CMediaType*) { return VFW_E_TYPE_NOT_ACCEPTED; }

HRESULT SimRefusingPin::CheckConnect(IPin*) { return VFW_E_NO_ACCEPTABLE_TYPES; }
