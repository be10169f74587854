#include "sim/SimTunerFilter.h"

#include <mutex>
#include <new>

#include "sim/SimClassIds.h"
#include "sim/SimObjectCreation.h"
#include "sim/SimControl.h"
#include "sim/SimDevice.h"
#include "sim/SimDeviceEvents.h"

HRESULT SimTunerFilter::Create(IUnknown* outer, REFIID iid, void** object) {
    (void)outer;
    HRESULT hr = S_OK;
    return HandOutNewObject(new (std::nothrow) SimTunerFilter(&hr), &hr, iid, object);
}

SimTunerFilter::SimTunerFilter(HRESULT* result)
    : CBaseFilter(nullptr, nullptr, CLSID_SimTunerFilter),
      device_(nullptr),
      input_(this, result),
      output_(this, result) {
    SimProcessControl()->Counters()->Created(SimObject::TunerFilter);
    Open(SimProcessControl()->DefaultDevice());
    ExposeInitialPins();
}

// Leaving the device's listeners first waits for an event being told to
// this filter, while every member is still whole.
SimTunerFilter::~SimTunerFilter() {
    device_.load()->RemoveListener(this);
    output_.StopStreaming();
    SimProcessControl()->Counters()->Destroyed(SimObject::TunerFilter);
}

HRESULT STDMETHODCALLTYPE SimTunerFilter::QueryInterface(REFIID iid, void** object) {
    return GetOwner()->QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE SimTunerFilter::AddRef() { return GetOwner()->AddRef(); }
ULONG STDMETHODCALLTYPE SimTunerFilter::Release() { return GetOwner()->Release(); }

HRESULT STDMETHODCALLTYPE SimTunerFilter::NonDelegatingQueryInterface(REFIID iid,
                                                                      void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IidBdaTopology) return GetInterface(static_cast<IBDA_Topology*>(this), object);
    if (iid == IID_IPersistPropertyBag)
        return GetInterface(static_cast<IPersistPropertyBag*>(this), object);
    if (iid == IID_ISimDeviceOwner)
        return GetInterface(static_cast<ISimDeviceOwner*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE SimTunerFilter::GetState(DWORD milliseconds, FILTER_STATE* state) {
    const HRESULT hr = CBaseFilter::GetState(milliseconds, state);
    if (SUCCEEDED(hr) && *state == State_Paused) return VFW_S_CANT_CUE;
    return hr;
}

SimDevice* STDMETHODCALLTYPE SimTunerFilter::Device() { return device_.load(); }

SimDevice* STDMETHODCALLTYPE SimTunerFilter::Handle() {
    return device_.load()->Through(generation_.load());
}

// Called without the filter lock: the device's event lock comes first.
void SimTunerFilter::Open(SimDevice* device) {
    SimDevice* old = device_.load();
    if (device != old) device->AddListener(this);
    {
        ScopedLock lock(FilterLock());
        generation_.store(device->PlugGeneration());
        device_.store(device);
        lostTold_ = false;
        backTold_ = false;
    }
    if (old != nullptr && device != old) old->RemoveListener(this);
}

// ---- events ----

HRESULT SimTunerFilter::OnJoinFilterGraph(IFilterGraph* graph) {
    eventSink_ = nullptr;
    if (graph == nullptr) return S_OK;
    ComPtr<IMediaEventSink> sink;
    if (SUCCEEDED(sink.QueryFrom(graph, IID_IMediaEventSink))) eventSink_ = sink.Get();
    return S_OK;  // the reference goes with `sink`: the graph owns us
}

void SimTunerFilter::TellGraph(long code, LONG_PTR param1, LONG_PTR param2, bool addRef) {
    if (eventSink_ == nullptr) return;
    if (addRef) GetOwner()->AddRef();  // the graph holds us: never from 0
    if (FAILED(eventSink_->Notify(code, param1, param2)) && addRef) GetOwner()->Release();
}

bool SimTunerFilter::EventParamsReleased() {
    static std::once_flag asked;
    static bool released = true;
    std::call_once(asked, [] {
        ComPtr<IMediaEventSink> sink;
        ComPtr<IMediaEventEx> events;
        ComPtr<IStream> probe;
        if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IMediaEventSink, sink.ReceiveVoid())) ||
            FAILED(events.QueryFrom(sink.Get(), IID_IMediaEventEx)) ||
            FAILED(CreateStreamOnHGlobal(nullptr, TRUE, probe.Receive())))
            return;
        probe->AddRef();
        if (FAILED(sink->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(probe.Get()), 0))) {
            probe->Release();
            return;
        }
        long code = 0;
        LONG_PTR first = 0, second = 0;
        while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
            events->FreeEventParams(code, first, second);
            if (code != EC_DEVICE_LOST) continue;
            probe->AddRef();
            released = probe->Release() == 1;
            if (!released) probe->Release();  // the reference the graph kept
            return;
        }
        probe->Release();  // never handed back: it stays ours
    });
    return released;
}

void SimTunerFilter::OnDeviceEvent(SimDevice& device, SimDeviceEvent event) {
    const bool addRef =
        (event == SimDeviceEvent::Unplug || event == SimDeviceEvent::Replug) && EventParamsReleased();
    ScopedLock lock(FilterLock());
    if (&device != device_.load()) return;
    const SimDeviceState state = device.State();
    const bool current = state.PlugGeneration == generation_.load();
    const LONG_PTR self = reinterpret_cast<LONG_PTR>(GetOwner());
    switch (event) {
    case SimDeviceEvent::Unplug:
        if (current && !state.Plugged && !lostTold_) {
            lostTold_ = true;
            TellGraph(EC_DEVICE_LOST, self, 0, addRef);
        }
        break;
    case SimDeviceEvent::Replug:
        if (!current && !backTold_) {
            backTold_ = true;
            TellGraph(EC_DEVICE_LOST, self, 1, addRef);
        }
        break;
    case SimDeviceEvent::Abort:
        if (current && state.Plugged && State() == State_Running && output_.IsConnected() &&
            !aborted_.exchange(true))
            TellGraph(EC_ERRORABORT, static_cast<LONG_PTR>(E_FAIL),
                      reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), false);
        break;
    default:
        break;  // the device itself stalls or loses the signal
    }
}

// ---- pins ----

void SimTunerFilter::ExposeInitialPins() {
    ScopedLock lock(FilterLock());
    if (pinsCreated_) return;
    const uint32_t wanted = device_.load()->InitialPinCount();
    const int count = wanted >= 2 ? 2 : static_cast<int>(wanted);
    // Only a real change of the pin set moves the version: an enumerator
    // taken before Load must stay in step when Load exposes the same pins.
    if (count == exposedCount_) return;
    exposedCount_ = 0;
    if (count >= 1) exposed_[exposedCount_++] = &input_;
    if (count >= 2) exposed_[exposedCount_++] = &output_;
    IncrementPinVersion();
}

int SimTunerFilter::GetPinCount() {
    ScopedLock lock(FilterLock());
    return exposedCount_;
}

CBasePin* SimTunerFilter::GetPin(int n) {
    ScopedLock lock(FilterLock());
    return n >= 0 && n < exposedCount_ ? exposed_[n] : nullptr;
}

CBasePin* SimTunerFilter::PinOfType(ULONG pinType) {
    if (pinType == InputPinType) return &input_;
    if (pinType == OutputPinType) return &output_;
    return nullptr;
}

bool SimTunerFilter::Exposed(CBasePin* pin) const {
    for (int i = 0; i < exposedCount_; ++i)
        if (exposed_[i] == pin) return true;
    return false;
}

// ---- IBDA_Topology ----

HRESULT STDMETHODCALLTYPE SimTunerFilter::GetPinTypes(ULONG* count, ULONG max, ULONG types[]) {
    if (count == nullptr) return E_POINTER;
    const HRESULT fault = Device()->CheckFilterFault(SimOp::GetPinTypes);
    if (FAILED(fault)) return fault;
    const ULONG reported = Device()->PinTypeCount();
    for (ULONG i = 0; i < reported && i < max && types != nullptr; ++i) types[i] = i;
    *count = reported;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTunerFilter::CreatePin(ULONG pinType, ULONG* pinId) {
    if (pinId == nullptr) return E_POINTER;
    const HRESULT fault = Device()->CheckFilterFault(SimOp::CreatePin);
    if (FAILED(fault)) return fault;
    CBasePin* pin = PinOfType(pinType);
    if (pin == nullptr) return E_INVALIDARG;
    ScopedLock lock(FilterLock());
    pinsCreated_ = true;
    if (!Exposed(pin)) {
        exposed_[exposedCount_++] = pin;
        IncrementPinVersion();
    }
    for (int i = 0; i < exposedCount_; ++i)
        if (exposed_[i] == pin) *pinId = static_cast<ULONG>(i);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTunerFilter::GetNodeTypes(ULONG*, ULONG, ULONG[]) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE SimTunerFilter::GetNodeDescriptors(ULONG*, ULONG, BDANODE_DESCRIPTOR[]) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE SimTunerFilter::GetNodeInterfaces(ULONG, ULONG*, ULONG, GUID[]) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE SimTunerFilter::GetTemplateConnections(ULONG*, ULONG,
                                                                 BDA_TEMPLATE_CONNECTION[]) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE SimTunerFilter::DeletePin(ULONG) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE SimTunerFilter::SetMediaType(ULONG, AM_MEDIA_TYPE*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE SimTunerFilter::SetMedium(ULONG, REGPINMEDIUM*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE SimTunerFilter::CreateTopology(ULONG, ULONG) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE SimTunerFilter::GetControlNode(ULONG, ULONG, ULONG, IUnknown**) {
    return E_NOTIMPL;
}

// ---- IPersistPropertyBag ----

HRESULT STDMETHODCALLTYPE SimTunerFilter::GetClassID(CLSID* clsid) {
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_SimTunerFilter;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimTunerFilter::InitNew() { return S_OK; }

HRESULT STDMETHODCALLTYPE SimTunerFilter::Load(IPropertyBag* bag, IErrorLog* log) {
    if (bag == nullptr) return E_POINTER;
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    HRESULT hr = bag->Read(L"DevicePath", &value, log);
    if (SUCCEEDED(hr) && V_VT(&value) != VT_BSTR) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) {
        const WideChar* path = reinterpret_cast<const WideChar*>(V_BSTR(&value));
        Open(SimProcessControl()->Device(path));
        ExposeInitialPins();
    }
    VariantClear(&value);
    return hr;
}

HRESULT STDMETHODCALLTYPE SimTunerFilter::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

// ---- states ----

// The delay comes before the filter lock is taken: events still reach the
// filter meanwhile, and a Stop on another thread waits only for the lock.
HRESULT STDMETHODCALLTYPE SimTunerFilter::Run(REFERENCE_TIME start) {
    if (State() != State_Running) {
        SimDevice* device = Device();
        const SimText path = device->Path();
        uint32_t delay = SimDeviceEvents::RunDelay(std::wstring(path.begin(), path.end()));
        if (device->RunDelayMs() > delay) delay = device->RunDelayMs();
        if (delay != 0) Sleep(delay);
    }
    return CBaseFilter::Run(start);
}

HRESULT SimTunerFilter::OnPause(FILTER_STATE from) {
    const HRESULT fault = Device()->CheckFilterFault(SimOp::Pause);
    if (FAILED(fault)) return fault;
    if (from == State_Running) output_.HoldStreaming();
    if (from == State_Stopped) Device()->RestartStream();
    return S_OK;
}

HRESULT SimTunerFilter::OnRun(REFERENCE_TIME start) {
    (void)start;
    const HRESULT fault = Device()->CheckFilterFault(SimOp::Run);
    if (FAILED(fault)) return fault;
    if (output_.IsConnected()) output_.StartStreaming();
    return S_OK;
}

// A Stop fault leaves the tuner streaming, as a device that failed to stop
// would; the framework then keeps the filter in its running state.
HRESULT SimTunerFilter::OnStop() {
    const HRESULT fault = Device()->CheckFilterFault(SimOp::Stop);
    if (FAILED(fault)) return fault;
    output_.StopStreaming();
    aborted_.store(false);
    return S_OK;
}
