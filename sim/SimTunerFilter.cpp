#include "sim/SimTunerFilter.h"

#include <new>

#include "sim/SimClassIds.h"
#include "sim/SimObjectCreation.h"
#include "sim/SimControl.h"
#include "sim/SimDevice.h"

HRESULT SimTunerFilter::Create(IUnknown* outer, REFIID iid, void** object) {
    (void)outer;
    HRESULT hr = S_OK;
    return HandOutNewObject(new (std::nothrow) SimTunerFilter(&hr), &hr, iid, object);
}

SimTunerFilter::SimTunerFilter(HRESULT* result)
    : CBaseFilter(nullptr, nullptr, CLSID_SimTunerFilter),
      device_(SimProcessControl()->DefaultDevice()),
      input_(this, result),
      output_(this, result) {
    SimProcessControl()->Counters()->Created(SimObject::TunerFilter);
    ExposeInitialPins();
}

SimTunerFilter::~SimTunerFilter() {
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
        device_.store(SimProcessControl()->Device(path));
        ExposeInitialPins();
    }
    VariantClear(&value);
    return hr;
}

HRESULT STDMETHODCALLTYPE SimTunerFilter::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

// ---- states ----

HRESULT SimTunerFilter::OnPause(FILTER_STATE from) {
    const HRESULT fault = Device()->CheckFilterFault(SimOp::Pause);
    if (FAILED(fault)) return fault;
    if (from == State_Running) output_.HoldStreaming();
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
    return S_OK;
}
