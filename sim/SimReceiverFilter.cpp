#include "sim/SimReceiverFilter.h"

#include <new>

#include "sim/SimClassIds.h"
#include "sim/SimObjectCreation.h"
#include "sim/SimControl.h"

HRESULT SimReceiverFilter::Create(SimObject kind, REFCLSID clsid, REFIID iid, void** object) {
    HRESULT hr = S_OK;
    return HandOutNewObject(new (std::nothrow) SimReceiverFilter(kind, clsid, &hr), &hr, iid, object);
}

HRESULT SimReceiverFilter::CreateMpe(IUnknown*, REFIID iid, void** object) {
    return Create(SimObject::MpeFilter, CLSID_SimMpeFilter, iid, object);
}

HRESULT SimReceiverFilter::CreateSlipDeFramer(IUnknown*, REFIID iid, void** object) {
    return Create(SimObject::SlipDeFramer, CLSID_SimSlipDeFramer, iid, object);
}

HRESULT SimReceiverFilter::CreateRefusing(IUnknown*, REFIID iid, void** object) {
    return Create(SimObject::RefusingReceiver, CLSID_SimRefusingReceiver, iid, object);
}

SimReceiverFilter::SimReceiverFilter(SimObject kind, REFCLSID clsid, HRESULT* result)
    : CBaseFilter(nullptr, nullptr, clsid), kind_(kind), pin_(this, result) {
    SimProcessControl()->Counters()->Created(kind_);
}

SimReceiverFilter::~SimReceiverFilter() { SimProcessControl()->Counters()->Destroyed(kind_); }

CBasePin* SimReceiverFilter::GetPin(int n) { return n == 0 ? &pin_ : nullptr; }
