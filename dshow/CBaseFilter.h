// CBaseFilter: IBaseFilter and IAMovieSetup on top of CUnknown.
//
// How to build a filter on this framework
// ---------------------------------------
// * Every filter: derive from CBaseFilter (or CTransformFilter /
//   CTransInPlaceFilter), pass your CLSID to the constructor, implement
//   GetPinCount() and GetPin(n) (pins live as long as the filter; GetPin returns
//   a borrowed pointer), and answer your own interfaces in
//   NonDelegatingQueryInterface (call the base for the rest). Pins take
//   `&FilterLock()` as their lock. Create the filter with new (nothrow), count
//   0; the creator QueryInterfaces for the first reference.
// * State work goes in the CFilterStateHooks overrides OnPause/OnRun/OnStop
//   (filter lock held; a failure keeps the old state). The connected pins'
//   Active/Inactive/Run are called by the state machine for you. IBaseFilter
//   methods (e.g. GetState) may be overridden as well, except in the
//   transform chain, whose main method table has a fixed layout.
// * Source: an output pin derived from CBaseOutputPin implementing
//   CheckMediaType, GetMediaType and DecideBufferSize (call
//   allocator->SetProperties). Start a streaming thread in OnPause/OnRun,
//   stop it in OnStop (the allocator is already decommitted then, so a thread
//   blocked in GetDeliveryBuffer wakes up with a failure). The thread fills
//   samples from GetDeliveryBuffer and calls Deliver. A live source overrides
//   GetState to answer VFW_S_CANT_CUE while paused.
// * Sink / renderer: an input pin derived from CBaseInputPin implementing
//   CheckMediaType and Receive (call CBaseInputPin::Receive first and return
//   its result unless it is S_OK).
// * Transform: derive from CTransformFilter (CheckInputType, CheckTransform,
//   DecideBufferSize, GetMediaType, Transform(in, out)) or, for a filter that
//   passes each sample on unchanged in place, CTransInPlaceFilter
//   (CheckInputType and Transform(sample)).
//
// State machine (one, under the filter lock): Stop/Pause/Run move between
// Stopped, Paused and Running, calling the hooks and the pins, and commit the
// new state only when everything succeeded. Run from Stopped pauses first.
// Lock order: filter lock, then any streaming lock a subclass takes; the
// streaming thread never takes the filter lock.
// The graph pointer given to JoinFilterGraph is never AddRef'd (the graph
// owns its filters; a reference back would be a cycle).
#pragma once

#include "dshow/CFilterInterfaces.h"
#include "dshow/CFilterStateHooks.h"
#include "dshow/CUnknown.h"
#include "dshow/ComPtr.h"
#include "platform/Locks.h"

#include <atomic>

class CBasePin;

class CBaseFilter : public CUnknown, public CFilterInterfaces, public CFilterStateHooks {
public:
    // `objectName` for debugging only (not copied); `outer` the aggregating
    // unknown or null; `clsid` is what GetClassID reports.
    CBaseFilter(const WideChar* objectName, IUnknown* outer, REFCLSID clsid);
    ~CBaseFilter() override;

    // Answers IBaseFilter, IMediaFilter, IPersist and IAMovieSetup, then CUnknown's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // Main-table virtuals, in this exact order.
    // Stream time now (clock time minus the run start); VFW_E_NO_CLOCK without a clock.
    virtual HRESULT StreamTime(REFERENCE_TIME* streamTime);
    // Changes whenever the set of pins changes (enumerators resynchronise on it).
    virtual LONG GetPinVersion();
    virtual int GetPinCount() = 0;
    // Pin n (0-based) or null; borrowed, owned by the filter.
    virtual CBasePin* GetPin(int n) = 0;
    // Registration data for IAMovieSetup, or null (the default) for none.
    virtual const REGFILTER2* GetSetupData();

    // Helpers for subclasses and pins.
    ReentrantLock& FilterLock() { return filterLock_; }
    FILTER_STATE State() const { return state_.load(); }
    bool IsStopped() const { return state_.load() == State_Stopped; }
    bool IsActive() const { return state_.load() != State_Stopped; }
    // The graph this filter is in, borrowed (never AddRef'd), or null.
    IFilterGraph* Graph() const { return graph_; }
    // The name given by JoinFilterGraph (empty when none); owned by the filter.
    const WCHAR* Name() const { return name_; }
    REFERENCE_TIME StartTime() const { return start_; }
    // The reference clock, borrowed, or null.
    IReferenceClock* Clock() const { return clock_.Get(); }
    // Sends an event to the graph's IMediaEventSink, if there is one.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
    // Call when pins are added or removed.
    void IncrementPinVersion();

private:
    friend class CFilterInterfaces;
    // The state machine's steps (filter lock held).
    HRESULT PauseLocked();
    HRESULT RunLocked(REFERENCE_TIME start);
    HRESULT StopLocked();
    // Calls Active (or Inactive) on every connected pin; on an Active failure
    // the pins already activated go Inactive again. Returns the first failure.
    HRESULT SetPinsActive(bool active);
    HRESULT RunPins(REFERENCE_TIME start);

    ReentrantLock filterLock_;
    CLSID clsid_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    REFERENCE_TIME start_ = 0;
    ComPtr<IReferenceClock> clock_;
    IFilterGraph* graph_ = nullptr;  // weak: the graph owns us
    WCHAR name_[MAX_FILTER_NAME] = {};
    std::atomic<LONG> pinVersion_{1};
};
