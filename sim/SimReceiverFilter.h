// Receiver components that do not take part in the chain: the ones named
// "BDA MPE Filter" and "BDA Slip De-Framer" (the driver must never load them;
// each creation is counted under its own kind) and one whose input pin
// refuses every connection. Each has that one input pin.
#pragma once

#include "dshow/CBaseFilter.h"
#include "sim/SimCounters.h"
#include "sim/SimModule.h"
#include "sim/SimRefusingPin.h"

class SimReceiverFilter : public CBaseFilter {
public:
    // Class-factory entries, one per kind: a new filter queried for `iid`;
    // the caller owns the reference written to *object.
    static HRESULT CreateMpe(IUnknown* outer, REFIID iid, void** object);
    static HRESULT CreateSlipDeFramer(IUnknown* outer, REFIID iid, void** object);
    static HRESULT CreateRefusing(IUnknown* outer, REFIID iid, void** object);

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

private:
    SimReceiverFilter(SimObject kind, REFCLSID clsid, HRESULT* result);
    ~SimReceiverFilter() override;
    static HRESULT Create(SimObject kind, REFCLSID clsid, REFIID iid, void** object);

    SimModuleObject moduleObject_;
    const SimObject kind_;
    SimRefusingPin pin_;
};
