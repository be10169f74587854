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
//
// Creation and Load open the device at its current plug generation. The
// filter listens to its device and tells its graph what a real capture
// filter would: unplugged, EC_DEVICE_LOST (param1 the filter's IUnknown,
// param2 0); replugged while this filter is of an
// older generation, EC_DEVICE_LOST with param2 1 (the filter itself stays
// dead, see SimDevice::Through); aborted while running, EC_ERRORABORT
// (E_FAIL, the filter) and no more samples until it is stopped. Each is
// sent once per filter and opening. The graph's event sink is kept weakly
// from JoinFilterGraph and used only under the filter lock, which
// JoinFilterGraph(NULL) also takes: the sink cannot go while it is called,
// and no reference on the graph is ever held. EC_DEVICE_LOST's IUnknown is
// AddRef'd for the graph where the graph manager's FreeEventParams releases
// it, as Windows' does; Wine's (8.0) is a stub that releases nothing, and a
// reference given there would keep the filter forever (see EventParamsReleased).
#pragma once

#include <atomic>

#include <bdaiface.h>
#include <ocidl.h>

#include "dshow/CBaseFilter.h"
#include "sim/SimDeviceListener.h"
#include "sim/SimDeviceOwner.h"
#include "sim/SimModule.h"
#include "sim/SimTunerInputPin.h"
#include "sim/SimTunerOutputPin.h"

class SimTunerFilter : public CBaseFilter,
                       public IBDA_Topology,
                       public IPersistPropertyBag,
                       public ISimDeviceOwner,
                       public SimDeviceListener {
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
    // A slow device (SimDevice::SetRunDelay, or simreg slow from another
    // process) makes the Run from a stopped or paused filter return late.
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // ISimDeviceOwner
    SimDevice* STDMETHODCALLTYPE Device() override;
    SimDevice* STDMETHODCALLTYPE Handle() override;

    // SimDeviceListener: tells the graph (see above).
    void OnDeviceEvent(SimDevice& device, SimDeviceEvent event) override;
    // Aborted since the last Stop: the output pin delivers nothing.
    bool Aborted() const { return aborted_.load(); }

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
    HRESULT OnJoinFilterGraph(IFilterGraph* graph) override;

private:
    explicit SimTunerFilter(HRESULT* result);
    ~SimTunerFilter() override;

    // Exposes the device's initial pins; nothing exposed stays exposed.
    void ExposeInitialPins();
    CBasePin* PinOfType(ULONG pinType);
    bool Exposed(CBasePin* pin) const;
    // Drives `device` from now on, opened at its current plug generation.
    void Open(SimDevice* device);
    // Sends one event to the graph (filter lock held); EC_DEVICE_LOST's
    // param1 is this filter, AddRef'd for the graph when `addRef`.
    void TellGraph(long code, LONG_PTR param1, LONG_PTR param2, bool addRef);
    // Whether this process's filter graph manager releases EC_DEVICE_LOST's
    // IUnknown in FreeEventParams: asked once, of a graph of its own, with a
    // stream object as the reference (true when it cannot tell). No lock held.
    static bool EventParamsReleased();

    SimModuleObject moduleObject_;
    std::atomic<SimDevice*> device_;
    std::atomic<uint32_t> generation_{0};  // the plug generation it opened
    std::atomic<bool> aborted_{false};
    IMediaEventSink* eventSink_ = nullptr;  // weak, under the filter lock
    bool lostTold_ = false;                 // EC_DEVICE_LOST 0 sent (filter lock)
    bool backTold_ = false;                 // EC_DEVICE_LOST 1 sent (filter lock)
    SimTunerInputPin input_;
    SimTunerOutputPin output_;
    CBasePin* exposed_[2] = {nullptr, nullptr};
    int exposedCount_ = 0;
    bool pinsCreated_ = false;
};
