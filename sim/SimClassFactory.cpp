#include "sim/SimClassFactory.h"

SimClassFactory::SimClassFactory(SimCreateFunction create) : create_(create) {}

HRESULT STDMETHODCALLTYPE SimClassFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE SimClassFactory::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE SimClassFactory::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE SimClassFactory::CreateInstance(IUnknown* outer, REFIID iid,
                                                          void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return create_(outer, iid, object);
}

HRESULT STDMETHODCALLTYPE SimClassFactory::LockServer(BOOL lock) {
    if (lock)
        SimModule::Lock();
    else
        SimModule::Unlock();
    return S_OK;
}
