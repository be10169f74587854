#include "dshow/CEnumMediaTypes.h"

#include "dshow/CBasePin.h"

#include <new>

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, int position)
    : pin_(pin), position_(position), version_(pin->MediaTypeVersion()) {
    pin_->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes() { pin_->Release(); }

HRESULT CEnumMediaTypes::Create(CBasePin* pin, int position, IEnumMediaTypes** enumerator) {
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    if (!pin) return E_POINTER;
    auto* created = new (std::nothrow) CEnumMediaTypes(pin, position);
    if (!created) return E_OUTOFMEMORY;
    created->AddRef();
    *enumerator = created;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IEnumMediaTypes)) {
        *object = static_cast<IEnumMediaTypes*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CEnumMediaTypes::AddRef() { return static_cast<ULONG>(++references_); }

ULONG STDMETHODCALLTYPE CEnumMediaTypes::Release() {
    long count = --references_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

bool CEnumMediaTypes::InSync() const { return version_ == pin_->MediaTypeVersion(); }

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types,
                                                ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (!types) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    while (done < count) {
        CMediaType type;
        if (pin_->GetMediaType(position_, &type) != S_OK) break;
        ++position_;
        types[done] = CMediaType::CreateMediaType(&type);
        if (!types[done]) break;
        ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Skip(ULONG count) {
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    for (ULONG i = 0; i < count; ++i) {
        CMediaType type;
        if (pin_->GetMediaType(position_, &type) != S_OK) return S_FALSE;
        ++position_;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Reset() {
    version_ = pin_->MediaTypeVersion();
    position_ = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Clone(IEnumMediaTypes** clone) {
    if (!clone) return E_POINTER;
    *clone = nullptr;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    return Create(pin_, position_, clone);
}
