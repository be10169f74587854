#include "dshow/CEnumMediaTypes.h"

#include "dshow/CBasePin.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, int position)
    : pin_(pin), position_(position), version_(pin->MediaTypeVersion()) {
    pin_->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes() { pin_->Release(); }

HRESULT CEnumMediaTypes::Create(CBasePin* pin, int position, IEnumMediaTypes** enumerator) {
    return Make<CEnumMediaTypes>(pin, position, enumerator);
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
