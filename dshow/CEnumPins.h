// CEnumPins: IEnumPins over a filter's GetPin(0..GetPinCount-1). It holds a
// reference on the filter and answers VFW_E_ENUM_OUT_OF_SYNC once the
// filter's pin version changed, until Reset.
#pragma once

#include "dshow/CEnumUnknown.h"

class CBaseFilter;

class CEnumPins : public CEnumUnknown<IEnumPins> {
public:
    // A new enumerator with count 0; *enumerator gets the caller's reference.
    static HRESULT Create(CBaseFilter* filter, int position, IEnumPins** enumerator);

    // pins[i] are AddRef'd; the caller releases them.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) override;

private:
    friend class CEnumUnknown<IEnumPins>;
    CEnumPins(CBaseFilter* filter, int position);
    ~CEnumPins() override;
    bool InSync();

    CBaseFilter* filter_;  // referenced through its IBaseFilter for our lifetime
    int position_;
    LONG version_;
};
