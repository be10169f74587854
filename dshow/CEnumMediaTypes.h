// CEnumMediaTypes: IEnumMediaTypes over a pin's GetMediaType(0..). It holds a
// reference on the pin (that is, on its filter) and answers
// VFW_E_ENUM_OUT_OF_SYNC once the pin's media type version changed, until Reset.
#pragma once

#include "dshow/ComPtr.h"

#include <atomic>

class CBasePin;

class CEnumMediaTypes : public IEnumMediaTypes {
public:
    // A new enumerator; *enumerator gets the caller's reference.
    static HRESULT Create(CBasePin* pin, int position, IEnumMediaTypes** enumerator);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // types[i] are CoTaskMemAlloc'd; the caller frees them (DeleteMediaType).
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override;

private:
    CEnumMediaTypes(CBasePin* pin, int position);
    virtual ~CEnumMediaTypes();
    bool InSync() const;

    std::atomic<long> references_{0};
    CBasePin* pin_;  // referenced for our lifetime
    int position_;
    LONG version_;
};
