// The filter-level hooks of CBaseFilter's state machine. They live in a base
// class of their own (not in CBaseFilter) so that the filter's main method
// table keeps its fixed layout; CBaseFilter derives from this class and
// subclasses override the hooks they need. Each is called with the filter
// lock held; a failure leaves the filter in its previous state.
#pragma once

#include "dshow/DshowTypes.h"

class CFilterStateHooks {
public:
    // Stopped -> Paused (after the connected pins went Active; they go Inactive
    // again if this fails) or Running -> Paused.
    virtual HRESULT OnPause(FILTER_STATE from) {
        (void)from;
        return S_OK;
    }
    // Paused -> Running; `start` is the stream's reference-clock start time.
    virtual HRESULT OnRun(REFERENCE_TIME start) {
        (void)start;
        return S_OK;
    }
    // Paused/Running -> Stopped, after the connected pins went Inactive (so
    // allocators are decommitted and Receive is already refused).
    virtual HRESULT OnStop() { return S_OK; }
    // The filter joins `graph`, or leaves its graph (null); a failure
    // refuses, and the filter stays where it was.
    virtual HRESULT OnJoinFilterGraph(IFilterGraph* graph) {
        (void)graph;
        return S_OK;
    }

protected:
    CFilterStateHooks() = default;
    ~CFilterStateHooks() = default;
};
