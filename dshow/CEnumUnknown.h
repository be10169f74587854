// The IUnknown half that the framework's enumerators share: a reference count
// of the enumerator's own, starting at 0, and the one enumerator interface.
#pragma once

#include "dshow/ComPtr.h"

#include <atomic>
#include <new>

template <class Interface>
class CEnumUnknown : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long count = --references_;
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

protected:
    CEnumUnknown() = default;
    virtual ~CEnumUnknown() = default;

    // Makes a `Enumerator` from `owner` and `position` and hands it to
    // *enumerator with the caller's reference.
    template <class Enumerator, class Owner>
    static HRESULT Make(Owner* owner, int position, Interface** enumerator) {
        if (!enumerator) return E_POINTER;
        *enumerator = nullptr;
        if (!owner) return E_POINTER;
        auto* created = new (std::nothrow) Enumerator(owner, position);
        if (!created) return E_OUTOFMEMORY;
        created->AddRef();
        *enumerator = created;
        return S_OK;
    }

private:
    std::atomic<long> references_{0};
};
