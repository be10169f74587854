// CBaseFilter's state machine. Every step runs with the filter lock held and
// commits the new state only after the pins and the hook agreed:
//   Stopped -> Paused : connected pins Active (undone on failure), OnPause.
//   Running -> Paused : OnPause.
//   Paused  -> Running: OnRun, connected pins Run.   (Stopped first pauses.)
//   any     -> Stopped: connected pins Inactive (all of them), OnStop.
// Pins go Inactive before OnStop so that allocators are decommitted and input
// pins refuse samples before the subclass tears its streaming down.
#include "dshow/CBaseFilter.h"

#include "dshow/CBasePin.h"
#include "platform/Trace.h"

CBaseFilter::CBaseFilter(const WideChar* objectName, IUnknown* outer, REFCLSID clsid)
    : CUnknown(objectName, outer), clsid_(clsid) {}

CBaseFilter::~CBaseFilter() = default;

HRESULT STDMETHODCALLTYPE CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IBaseFilter) || IsEqualGUID(iid, IID_IMediaFilter) ||
        IsEqualGUID(iid, IID_IPersist))
        return GetInterface(static_cast<IBaseFilter*>(this), object);
    if (IsEqualGUID(iid, IID_IAMovieSetup))
        return GetInterface(static_cast<IAMovieSetup*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME* streamTime) {
    if (!streamTime) return E_POINTER;
    *streamTime = 0;
    ScopedLock lock(filterLock_);
    if (!clock_) return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    HRESULT hr = clock_->GetTime(&now);
    if (FAILED(hr)) return hr;
    *streamTime = now - start_;
    return S_OK;
}

LONG CBaseFilter::GetPinVersion() { return pinVersion_.load(); }

const REGFILTER2* CBaseFilter::GetSetupData() { return nullptr; }

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IFilterGraph* graph = graph_;
    if (!graph) return E_NOTIMPL;
    ComPtr<IMediaEventSink> sink;
    HRESULT hr = sink.QueryFrom(graph, IID_IMediaEventSink);
    if (FAILED(hr)) return hr;
    if (code == EC_COMPLETE || code == EC_ERRORABORT) {
        // The graph expects the sending filter as the second parameter of these.
        if (param2 == 0) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    }
    return sink->Notify(code, param1, param2);
}

void CBaseFilter::IncrementPinVersion() { ++pinVersion_; }

HRESULT CBaseFilter::SetPinsActive(bool active) {
    HRESULT first = S_OK;
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
        CBasePin* pin = GetPin(i);
        if (!pin || !pin->IsConnected()) continue;
        HRESULT hr = active ? pin->Active() : pin->Inactive();
        if (SUCCEEDED(hr)) continue;
        if (active) {
            for (int j = 0; j < i; ++j) {
                CBasePin* done = GetPin(j);
                if (done && done->IsConnected()) done->Inactive();
            }
            return hr;
        }
        if (SUCCEEDED(first)) first = hr;
    }
    return first;
}

HRESULT CBaseFilter::RunPins(REFERENCE_TIME start) {
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
        CBasePin* pin = GetPin(i);
        if (!pin || !pin->IsConnected()) continue;
        HRESULT hr = pin->Run(start);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CBaseFilter::PauseLocked() {
    const FILTER_STATE from = state_.load();
    if (from == State_Paused) return S_OK;
    if (from == State_Stopped) {
        HRESULT hr = SetPinsActive(true);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = OnPause(from);
    if (FAILED(hr)) {
        if (from == State_Stopped) SetPinsActive(false);
        Trace("(CBaseFilter::Pause) refused", hr);
        return hr;
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::RunLocked(REFERENCE_TIME start) {
    if (state_.load() == State_Running) return S_OK;
    if (state_.load() == State_Stopped) {
        HRESULT hr = PauseLocked();
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = OnRun(start);
    if (SUCCEEDED(hr)) hr = RunPins(start);
    if (FAILED(hr)) {
        Trace("(CBaseFilter::Run) refused", hr);
        return hr;
    }
    start_ = start;
    state_ = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::StopLocked() {
    if (state_.load() == State_Stopped) return S_OK;
    HRESULT hr = SetPinsActive(false);
    HRESULT hook = OnStop();
    if (SUCCEEDED(hr)) hr = hook;
    if (FAILED(hr)) {
        Trace("(CBaseFilter::Stop) refused", hr);
        return hr;
    }
    state_ = State_Stopped;
    return S_OK;
}
