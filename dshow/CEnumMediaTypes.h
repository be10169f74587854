// CEnumMediaTypes: IEnumMediaTypes over a pin's GetMediaType(0..). It holds a
// reference on the pin (that is, on its filter) and answers
// VFW_E_ENUM_OUT_OF_SYNC once the pin's media type version changed, until Reset.
#pragma once

#include "dshow/CEnumUnknown.h"

class CBasePin;

class CEnumMediaTypes : public CEnumUnknown<IEnumMediaTypes> {
public:
    // A new enumerator; *enumerator gets the caller's reference.
    static HRESULT Create(CBasePin* pin, int position, IEnumMediaTypes** enumerator);

    // types[i] are CoTaskMemAlloc'd; the caller frees them (DeleteMediaType).
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override;

private:
    friend class CEnumUnknown<IEnumMediaTypes>;
    CEnumMediaTypes(CBasePin* pin, int position);
    ~CEnumMediaTypes() override;
    bool InSync() const;

    CBasePin* pin_;  // referenced for our lifetime
    int position_;
    LONG version_;
};
