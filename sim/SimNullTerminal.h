// The maker's null terminal filter, simulated: one input pin that accepts
// anything and discards it. It reports itself as a renderer through
// IAMFilterMiscFlags.
#pragma once

#include "dshow/CBaseFilter.h"
#include "sim/SimModule.h"
#include "sim/SimNullTerminalPin.h"

class SimNullTerminal : public CBaseFilter, public IAMFilterMiscFlags {
public:
    // Class-factory entry: a new filter queried for `iid`; the caller owns
    // the reference written to *object.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IAMFilterMiscFlags: AM_FILTER_MISC_FLAGS_IS_RENDERER.
    ULONG STDMETHODCALLTYPE GetMiscFlags() override;

    int GetPinCount() override { return 1; }
    // Leaving the graph can be made to fail (SimOp::LeaveGraph on the
    // default device), so that a graph's tear-down cannot empty it.
    HRESULT OnJoinFilterGraph(IFilterGraph* graph) override;
    CBasePin* GetPin(int n) override;

private:
    explicit SimNullTerminal(HRESULT* result);
    ~SimNullTerminal() override;

    SimModuleObject moduleObject_;
    SimNullTerminalPin pin_;
};
