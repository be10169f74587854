// The tuner's device filter, simulated.
//
// The system device enumerator creates it when a registered tuner instance
// is bound and then calls IPersistPropertyBag::Load, which is how the filter
// learns its "DevicePath" and so which simulated device (SimControl::Device)
// it drives; until then it drives the default device. It starts with the
// device's configured number of pins exposed (input first, then output);
// IBDA_Topology::CreatePin exposes the others. Once running it streams TS
// from its output pin (see SimTunerOutputPin). It is a live source: GetState
// answers VFW_S_CANT_CUE while paused. The device's fault points GetPinTypes,
// CreatePin, Pause and Run are consulted by the matching calls.
#pragma once

#include <atomic>

#include <bdaiface.h>
#include <ocidl.h>

#include "dshow/CBaseFilter.h"
#include "sim/SimDeviceOwner.h"
#include "sim/SimModule.h"
#include "sim/SimTunerInputPin.h"
#include "sim/SimTunerOutputPin.h"

class SimTunerFilter : public CBaseFilter,
                       public IBDA_Topology,
                       public IPersistPropertyBag,
                       public ISimDeviceOwner {
public:
    // Pin types reported by GetPinTypes and accepted by CreatePin.
    static constexpr ULONG InputPinType = 0;
    static constexpr ULONG OutputPinType = 1;

    // Class-factory entry: a new filter queried for `iid`; the caller owns
    // the reference written to *object.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // Paused answers VFW_S_CANT_CUE (live source).
    HRESULT STDMETHODCALLTYPE GetState(DWORD milliseconds, FILTER_STATE* state) override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // ISimDeviceOwner
    SimDevice* STDMETHODCALLTYPE Device() override;

    // IBDA_Topology: GetPinTypes and CreatePin work; the rest E_NOTIMPL.
    HRESULT STDMETHODCALLTYPE GetNodeTypes(ULONG* count, ULONG max, ULONG types[]) override;
    HRESULT STDMETHODCALLTYPE GetNodeDescriptors(ULONG* count, ULONG max,
                                                 BDANODE_DESCRIPTOR descriptors[]) override;
    HRESULT STDMETHODCALLTYPE GetNodeInterfaces(ULONG nodeType, ULONG* count, ULONG max,
                                                GUID interfaces[]) override;
    // Reports the device's pin-type count (normally 2: input, output) and
    // writes at most `max` of them.
    HRESULT STDMETHODCALLTYPE GetPinTypes(ULONG* count, ULONG max, ULONG types[]) override;
    HRESULT STDMETHODCALLTYPE GetTemplateConnections(ULONG* count, ULONG max,
                                                     BDA_TEMPLATE_CONNECTION connections[]) override;
    // Exposes the pin of `pinType`; *pinId receives its index among the
    // exposed pins. A pin already exposed is not exposed twice.
    HRESULT STDMETHODCALLTYPE CreatePin(ULONG pinType, ULONG* pinId) override;
    HRESULT STDMETHODCALLTYPE DeletePin(ULONG pinId) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(ULONG pinId, AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE SetMedium(ULONG pinId, REGPINMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE CreateTopology(ULONG inputPinId, ULONG outputPinId) override;
    HRESULT STDMETHODCALLTYPE GetControlNode(ULONG inputPinId, ULONG outputPinId, ULONG nodeType,
                                             IUnknown** node) override;

    // IPersistPropertyBag (GetClassID comes from CBaseFilter's IPersist).
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;
    // Reads "DevicePath" and switches to that device.
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

protected:
    HRESULT OnPause(FILTER_STATE from) override;
    HRESULT OnRun(REFERENCE_TIME start) override;
    HRESULT OnStop() override;

private:
    explicit SimTunerFilter(HRESULT* result);
    ~SimTunerFilter() override;

    // Exposes the device's initial pins; nothing exposed stays exposed.
    void ExposeInitialPins();
    CBasePin* PinOfType(ULONG pinType);
    bool Exposed(CBasePin* pin) const;

    SimModuleObject moduleObject_;
    std::atomic<SimDevice*> device_;
    SimTunerInputPin input_;
    SimTunerOutputPin output_;
    CBasePin* exposed_[2] = {nullptr, nullptr};
    int exposedCount_ = 0;
    bool pinsCreated_ = false;
};
