#include "sim/SimPassThroughReceiver.h"

#include <new>

#include "sim/SimClassIds.h"
#include "sim/SimControl.h"

HRESULT SimPassThroughReceiver::Create(IUnknown* outer, REFIID iid, void** object) {
    (void)outer;
    HRESULT hr = S_OK;
    SimPassThroughReceiver* filter = new (std::nothrow) SimPassThroughReceiver(&hr);
    if (filter == nullptr) return E_OUTOFMEMORY;
    IUnknown* unknown = filter->NonDelegatingUnknown();
    unknown->AddRef();
    if (SUCCEEDED(hr)) hr = unknown->QueryInterface(iid, object);
    unknown->Release();
    return hr;
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
