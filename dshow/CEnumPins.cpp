#include "dshow/CEnumPins.h"

#include "dshow/CBaseFilter.h"
#include "dshow/CBasePin.h"

CEnumPins::CEnumPins(CBaseFilter* filter, int position)
    : filter_(filter), position_(position), version_(filter->GetPinVersion()) {
    static_cast<IBaseFilter*>(filter_)->AddRef();
}

CEnumPins::~CEnumPins() { static_cast<IBaseFilter*>(filter_)->Release(); }

HRESULT CEnumPins::Create(CBaseFilter* filter, int position, IEnumPins** enumerator) {
    return Make<CEnumPins>(filter, position, enumerator);
}

bool CEnumPins::InSync() { return version_ == filter_->GetPinVersion(); }

HRESULT STDMETHODCALLTYPE CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (!pins) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    const int total = filter_->GetPinCount();
    while (done < count && position_ < total) {
        CBasePin* pin = filter_->GetPin(position_++);
        if (!pin) continue;
        pins[done] = pin;
        pin->AddRef();
        ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Skip(ULONG count) {
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    const int total = filter_->GetPinCount();
    const int left = total - position_;
    if (static_cast<long long>(count) > left) {
        position_ = total;
        return S_FALSE;
    }
    position_ += static_cast<int>(count);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Reset() {
    version_ = filter_->GetPinVersion();
    position_ = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Clone(IEnumPins** clone) {
    if (!clone) return E_POINTER;
    *clone = nullptr;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    return Create(filter_, position_, clone);
}
