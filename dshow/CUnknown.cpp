#include "dshow/CUnknown.h"

CUnknown::CUnknown(const WideChar* objectName, IUnknown* outer)
    : objectName_(objectName), owner_(outer ? outer : NonDelegatingUnknown()) {}

CUnknown::~CUnknown() = default;

IUnknown* CUnknown::NonDelegatingUnknown() {
    // The first three entries of our main table are the non-delegating
    // QueryInterface/AddRef/Release with IUnknown's calling convention, so
    // this object's address is a valid IUnknown for COM callers.
    return reinterpret_cast<IUnknown*>(this);
}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown)) return GetInterface(NonDelegatingUnknown(), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() {
    return static_cast<ULONG>(++references_);
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    long count = --references_;
    if (count == 0) {
        // Guard against the destructor's own AddRef/Release pairs deleting twice.
        references_ = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

HRESULT CUnknown::GetInterface(IUnknown* unknown, void** object) {
    if (!object) return E_POINTER;
    *object = unknown;
    if (unknown) unknown->AddRef();
    return S_OK;
}
