// CFilterInterfaces: CBaseFilter's IBaseFilter and IAMovieSetup methods.
//
// Why a class of its own: with GCC, a method that overrides a method of a
// secondary base also gets a slot in the class's main method table. Declaring
// the COM methods here (IBaseFilter is this class's primary base, so they
// reuse IBaseFilter's slots) keeps CBaseFilter's main table to exactly
// CUnknown's entries followed by CBaseFilter's own virtuals. For the same
// reason CTransformFilter and CTransInPlaceFilter override none of these.
// The bodies live in CFilterInterfaces.cpp and work on the CBaseFilter this
// object always is (the constructor is reachable only from CBaseFilter).
#pragma once

#include "dshow/DshowTypes.h"

class CBaseFilter;

class CFilterInterfaces : public IBaseFilter, public IAMovieSetup {
public:
    // IUnknown of both interfaces: delegates to the filter's owner.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    // IMediaFilter: the state machine (see CBaseFilter.h).
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD milliseconds, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    // *clock is AddRef'd (null when there is none); the caller releases it.
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    // *pins: a new enumerator the caller releases.
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    // *pin is AddRef'd; the caller releases it.
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    // info->pGraph is AddRef'd (when there is a graph); the caller releases it.
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    // Keeps `graph` without a reference and a copy of `name`.
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) override;  // E_NOTIMPL
    // IAMovieSetup: registers with the filter mapper from GetSetupData().
    HRESULT STDMETHODCALLTYPE Register() override;
    HRESULT STDMETHODCALLTYPE Unregister() override;

private:
    friend class CBaseFilter;
    CFilterInterfaces() = default;
    ~CFilterInterfaces() = default;
    CBaseFilter* Filter();
};
