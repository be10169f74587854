#include "sim/SimPassThroughReceiver.h"

#include <new>

#include "sim/SimClassIds.h"
#include "sim/SimObjectCreation.h"
#include "sim/SimControl.h"

HRESULT SimPassThroughReceiver::Create(IUnknown* outer, REFIID iid, void** object) {
    (void)outer;
    HRESULT hr = S_OK;
    return HandOutNewObject(new (std::nothrow) SimPassThroughReceiver(&hr), &hr, iid, object);
}

SimPassThroughReceiver::SimPassThroughReceiver(HRESULT* result)
    : CTransInPlaceFilter(nullptr, nullptr, CLSID_SimPassThroughReceiver, result, false) {
    SimProcessControl()->Counters()->Created(SimObject::PassThroughReceiver);
}

SimPassThroughReceiver::~SimPassThroughReceiver() {
    SimProcessControl()->Counters()->Destroyed(SimObject::PassThroughReceiver);
}

HRESULT SimPassThroughReceiver::CheckInputType(const CMediaType* type) {
    if (type == nullptr) return E_POINTER;
    return type->majortype == SimMediaTypeStream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SimPassThroughReceiver::Transform(IMediaSample*) { return S_OK; }
