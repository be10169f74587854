// IBaseFilter and IAMovieSetup for CBaseFilter. The state machine itself is
// CBaseFilter::PauseLocked/RunLocked/StopLocked; these methods take the
// filter lock and call it.
#include "dshow/CFilterInterfaces.h"

#include "dshow/CBaseFilter.h"
#include "dshow/CBasePin.h"
#include "dshow/CEnumPins.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

#include <cwchar>

CBaseFilter* CFilterInterfaces::Filter() { return static_cast<CBaseFilter*>(this); }

HRESULT STDMETHODCALLTYPE CFilterInterfaces::QueryInterface(REFIID iid, void** object) {
    return Filter()->GetOwner()->QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE CFilterInterfaces::AddRef() { return Filter()->GetOwner()->AddRef(); }

ULONG STDMETHODCALLTYPE CFilterInterfaces::Release() { return Filter()->GetOwner()->Release(); }

HRESULT STDMETHODCALLTYPE CFilterInterfaces::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = Filter()->clsid_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::Stop() {
    ScopedLock lock(Filter()->FilterLock());
    return Filter()->StopLocked();
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::Pause() {
    ScopedLock lock(Filter()->FilterLock());
    return Filter()->PauseLocked();
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::Run(REFERENCE_TIME start) {
    ScopedLock lock(Filter()->FilterLock());
    return Filter()->RunLocked(start);
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::GetState(DWORD milliseconds, FILTER_STATE* state) {
    (void)milliseconds;
    if (!state) return E_POINTER;
    *state = Filter()->State();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::SetSyncSource(IReferenceClock* clock) {
    ScopedLock lock(Filter()->FilterLock());
    Filter()->clock_ = ComPtr<IReferenceClock>::AddRefOf(clock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    ScopedLock lock(Filter()->FilterLock());
    return Filter()->clock_.CopyTo(clock);
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    return CEnumPins::Create(Filter(), 0, pins);
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::FindPin(LPCWSTR id, IPin** pin) {
    if (!pin) return E_POINTER;
    *pin = nullptr;
    if (!id) return E_POINTER;
    ScopedLock lock(Filter()->FilterLock());
    const int count = Filter()->GetPinCount();
    for (int i = 0; i < count; ++i) {
        CBasePin* candidate = Filter()->GetPin(i);
        if (candidate && std::wcscmp(candidate->PinName(), id) == 0) {
            *pin = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    ScopedLock lock(Filter()->FilterLock());
    WideCopyTruncate(info->achName, MAX_FILTER_NAME, Filter()->name_);
    info->pGraph = Filter()->graph_;
    if (info->pGraph) info->pGraph->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    ScopedLock lock(Filter()->FilterLock());
    const HRESULT hook = Filter()->OnJoinFilterGraph(graph);
    if (FAILED(hook)) return hook;
    Filter()->graph_ = graph;  // weak on purpose: the graph holds us
    WideCopyTruncate(Filter()->name_, MAX_FILTER_NAME, name ? name : L"");
    Trace("(CBaseFilter::JoinFilterGraph) joined", graph != nullptr);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::QueryVendorInfo(LPWSTR* vendorInfo) {
    if (vendorInfo) *vendorInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::Register() {
    const REGFILTER2* setup = Filter()->GetSetupData();
    if (!setup) return S_FALSE;
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, mapper.ReceiveVoid());
    if (FAILED(hr)) return hr;
    const WCHAR* name = Filter()->ObjectName() ? Filter()->ObjectName() : L"";
    return mapper->RegisterFilter(Filter()->clsid_, name, nullptr, &CLSID_LegacyAmFilterCategory,
                                  nullptr, setup);
}

HRESULT STDMETHODCALLTYPE CFilterInterfaces::Unregister() {
    if (!Filter()->GetSetupData()) return S_FALSE;
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, mapper.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, Filter()->clsid_);
}
