// The capture graph's assembly, run, stop and tear-down, and the names the
// driver calls for enumeration, loading and the device operations.
//
// Assembly loads and connects the chain step by step and cleans nothing up
// on failure: the caller's TearMyFilterGraph removes exactly what the
// in-graph flags name, then sweeps the graph manager for anything else.
// RunState is 2 (stopped) or 0 (running); once tear-down has released the
// graph manager it is back to 2, since no graph is left that could run.
#include "graph/MyFilterGraph.h"

#include <bdaiface.h>

#include "devices/ClassThreading.h"
#include "devices/DeviceCategory.h"
#include "filter/CTsWriter.h"
#include "graph/CardSteps.h"
#include "graph/PinConnector.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

struct MyFilterGraph::EnumTexts {
    const char* createFailed;
    const char* enumeratorNull;
    const char* classEnumFailed;
    const char* monikerEnumNull;
};

namespace {

constexpr DWORD PendingRunWaitMs = 1000;
constexpr ULONG TunerPinTypeCount = 2;  // input pin type, then output pin type

bool IsSkippedReceiver(const WideChar* friendlyName) {
    return WideEqualN(friendlyName, WIDE("BDA MPE Filter"), DeviceNameCapacity) ||
           WideEqualN(friendlyName, WIDE("BDA Slip De-Framer"), DeviceNameCapacity);
}

}  // namespace

// ---- construction, destruction, state --------------------------------------

MyFilterGraph::MyFilterGraph(TsWriterFactory writerFactory)
    : pTsBufferWriter(nullptr),
      NetworkProviderInGraph(false),
      TunerDeviceInGraph(false),
      ReceiverComponentInGraph(false),
      NullTerminalInGraph(false),
      TsBufferWriterInGraph(false),
      RunState(GraphStopped),
      GraphOpen(false),
      receiverInUse_(false),
      writerFactory_(writerFactory != nullptr ? writerFactory : &CreateTsWriter),
      remoteKeys_(device_) {
    WideCopyTruncate(SelectedFriendlyName, DeviceNameCapacity, UnknownDeviceName);
    WideCopyTruncate(SelectedDevicePath, DeviceNameCapacity, UnknownDeviceName);
}

MyFilterGraph::~MyFilterGraph() {
    Trace("(MyFilterGraph::~MyFilterGraph) Waiting for terminating thread begin !");
    remoteKeys_.Stop();
    Trace("(MyFilterGraph::~MyFilterGraph) Waiting for terminating thread end !");
    if (GraphOpen.load()) {
        if (RunState != GraphStopped) StopMyFilterGraph();
        TearMyFilterGraph();
    }
    // Whatever is still held (a failed sweep) is released without removal,
    // in this order.
    pINullTerminal_IBaseFilter.Reset();
    pIReceiverComponent_IBaseFilter.Reset();
    pITunerDevice_IBaseFilter.Reset();
    device_.SetProvider(ComPtr<IBaseFilter>());
    pIUnKnown_ICreateDevEnum.Reset();
    pIFilterGraph_IGraphBuilder.Reset();
    ReleaseTsWriter();
    RetireStaleGraphs();
    // The last release of a graph that cannot be emptied would spin in the
    // graph manager's own clean-up over the filter that refuses to leave: a
    // graph is lost instead of the host's thread.
    for (ComPtr<IGraphBuilder>& stale : staleGraphs_) {
        Trace("(MyFilterGraph::~MyFilterGraph) a graph that cannot be emptied is left behind");
        stale.Detach();
    }
}

void MyFilterGraph::SetSampleCallback(SampleCallback callback, void* context) {
    if (pTsBufferWriter != nullptr) pTsBufferWriter->SetCallback(callback, context);
}

void MyFilterGraph::SetTunerNames(const WideChar* friendlyName, const WideChar* devicePath) {
    WideCopyTruncate(SelectedFriendlyName, DeviceNameCapacity, friendlyName);
    WideCopyTruncate(SelectedDevicePath, DeviceNameCapacity, devicePath);
}

// ---- enumeration -------------------------------------------------------------

HRESULT MyFilterGraph::InitializeGraphBuilder() {
    RetireStaleGraphs();
    HRESULT hr = S_OK;
    if (pIFilterGraph_IGraphBuilder.Get() == nullptr) {
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                              pIFilterGraph_IGraphBuilder.ReceiveVoid());
        if (FAILED(hr)) {
            TraceFailure("(MyFilterGraph::InitializeGraphBuilder) Could not create the instance of Filter Graph Manager !", hr);
            return hr;
        }
        if (pIFilterGraph_IGraphBuilder.Get() == nullptr) {
            Trace("(MyFilterGraph::InitializeGraphBuilder) pIFilterGraph_IGraphBuilder == NULL");
            return E_FAIL;
        }
    }
    if (pIUnKnown_ICreateDevEnum.Get() == nullptr) {
        hr = EnsureDeviceEnumerator(
            "(MyFilterGraph::InitializeGraphBuilder) Cannot create the instance of ICreateDevEnum !",
            "(MyFilterGraph::InitializeGraphBuilder) pIUnKnown_ICreateDevEnum == NULL");
    }
    return hr;
}

HRESULT MyFilterGraph::EnsureDeviceEnumerator(const char* failedText, const char* nullText) {
    if (pIUnKnown_ICreateDevEnum.Get() != nullptr) return S_OK;
    const HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL,
                                        IID_ICreateDevEnum, pIUnKnown_ICreateDevEnum.ReceiveVoid());
    if (FAILED(hr)) {
        TraceFailure(failedText, hr);
        return hr;
    }
    if (pIUnKnown_ICreateDevEnum.Get() == nullptr) {
        Trace(nullText);
        return E_FAIL;
    }
    return hr;
}

// The device enumerator on demand, then the category's class enumerator; only
// S_OK with an enumerator counts (an empty category answers S_FALSE).
HRESULT MyFilterGraph::OpenCategory(const GUID& category, DeviceCategory* walk,
                                    const EnumTexts& texts) {
    const HRESULT hr = EnsureDeviceEnumerator(texts.createFailed, texts.enumeratorNull);
    if (FAILED(hr)) return hr;
    switch (walk->Open(pIUnKnown_ICreateDevEnum.Get(), category)) {
    case DeviceCategory::OpenResult::Opened:
        return S_OK;
    case DeviceCategory::OpenResult::NoClassEnumerator:
        Trace(texts.classEnumFailed);
        return E_FAIL;
    case DeviceCategory::OpenResult::NullEnumerator:
        break;
    }
    Trace(texts.monikerEnumNull);
    return E_FAIL;
}

void MyFilterGraph::CountingAvailableComponent(const GUID& category, uint16_t* count) {
    static const EnumTexts texts = {
        "(MyFilterGraph::CountingAvailableComponent) Cannot create the instance of ICreateDevEnum !",
        "(MyFilterGraph::CountingAvailableComponent) pIUnKnown_ICreateDevEnum == NULL",
        "(MyFilterGraph::CountingAvailableComponent) Can not CreateClassEnumerator",
        "(MyFilterGraph::CountingAvailableComponent) pIEnumMoniker == NULL"};
    *count = 0;
    DeviceCategory walk;
    if (FAILED(OpenCategory(category, &walk, texts))) return;
    uint16_t found = 0;
    for (ComPtr<IMoniker> moniker; walk.Next(&moniker);) ++found;
    *count = found;
}

void MyFilterGraph::GetComponentFriendlyNameAndDisplayName(const GUID& category, uint16_t index,
                                                           WideChar* friendlyName,
                                                           WideChar* devicePath) {
    static const EnumTexts texts = {
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) Cannot create the instance of ICreateDevEnum !",
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) pIUnKnown_ICreateDevEnum == NULL",
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) Can not CreateClassEnumerator",
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) pIEnumMoniker == NULL"};
    static const char ReadFailed[] =
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) IPropertyBag->Read method failed";
    DeviceCategory walk;
    if (FAILED(OpenCategory(category, &walk, texts))) {
        WideCopyTruncate(friendlyName, DeviceNameCapacity, UnknownDeviceName);
        WideCopyTruncate(devicePath, DeviceNameCapacity, UnknownDeviceName);
        return;
    }
    // Past the last device, or a bag that cannot be bound: the device path
    // stays as the caller set it.
    ComPtr<IMoniker> moniker;
    DeviceProperties properties;
    if (!walk.Skip(index, &moniker) || !properties.Bind(moniker.Get())) {
        WideCopyTruncate(friendlyName, DeviceNameCapacity, UnknownDeviceName);
        return;
    }
    const struct {
        const WideChar* Property;
        WideChar* Output;
    } reads[] = {{FriendlyNameProperty, friendlyName}, {DevicePathProperty, devicePath}};
    for (const auto& read : reads) {
        DeviceText value;
        if (!properties.Read(read.Property, &value)) {
            Trace(ReadFailed);
            value = UnknownDeviceName;
        }
        WideCopyTruncate(read.Output, DeviceNameCapacity, value.c_str());
    }
}

// ---- loading -------------------------------------------------------------------

HRESULT MyFilterGraph::AddToGraph(IBaseFilter* filter, const WideChar* name) {
    return pIFilterGraph_IGraphBuilder.Get() == nullptr
               ? E_UNEXPECTED
               : pIFilterGraph_IGraphBuilder->AddFilter(filter, name);
}

HRESULT MyFilterGraph::LoadFilterByFriendlyName(const GUID& category, ComPtr<IBaseFilter>& filter,
                                                const WideChar* friendlyName,
                                                const WideChar* devicePath, bool* added) {
    static const EnumTexts texts = {
        "(MyFilterGraph::LoadFilterByFriendlyName) Cannot create the instance of ICreateDevEnum !",
        "(MyFilterGraph::LoadFilterByFriendlyName) pIUnKnown_ICreateDevEnum == NULL",
        "(MyFilterGraph::LoadFilterByFriendlyName) Can not CreateClassEnumerator",
        "(MyFilterGraph::LoadFilterByFriendlyName) pIEnumMoniker == NULL"};
    *added = false;
    HRESULT hr = EnsureDeviceEnumerator(texts.createFailed, texts.enumeratorNull);
    if (FAILED(hr)) return hr;
    DeviceCategory walk;
    ComPtr<IMoniker> match;
    DeviceText name;
    if (FAILED(OpenCategory(category, &walk, texts)) ||
        !walk.Find(friendlyName, devicePath, &match, &name))
        return E_FAIL;
    ComPtr<IBaseFilter> bound;
    hr = match->BindToObject(nullptr, nullptr, IID_IBaseFilter, bound.ReceiveVoid());
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadFilterByFriendlyName) Cannot add filter", hr);
        return hr;
    }
    if (bound.Get() == nullptr || FAILED(filter.QueryFrom(bound.Get(), IID_IBaseFilter)) ||
        filter.Get() == nullptr)
        return E_FAIL;
    hr = AddToGraph(filter.Get(), name.c_str());
    *added = SUCCEEDED(hr);
    return hr;
}

HRESULT MyFilterGraph::LoadFilterByCLSID(GUID clsid, ComPtr<IBaseFilter>& filter,
                                         const WideChar* name) {
    if (clsid == GUID_NULL) return E_FAIL;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  filter.ReceiveVoid());
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadFilterByCLSID) Could not Create Instance !", hr);
        return hr;
    }
    hr = AddToGraph(filter.Get(), name);
    if (FAILED(hr)) TraceFailure("(MyFilterGraph::LoadFilterByCLSID) Unable to add filter to graph", hr);
    return hr;
}

HRESULT MyFilterGraph::LoadNetworkProvider() {
    // Built aside and then published, so the remote-key thread never sees
    // the pointer half-written.
    ComPtr<IBaseFilter> provider;
    const HRESULT hr = LoadFilterByCLSID(ClsidTesselNetworkProvider, provider,
                                         WIDE("Tessel's Network Provider"));
    device_.SetProvider(std::move(provider));
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadNetworkProvider) Couldn't Load Tessel Orin Network Provider Filter !", hr);
        return hr;
    }
    NetworkProviderInGraph = true;
    return hr;
}

HRESULT MyFilterGraph::LoadNullTerminalFilter() {
    const HRESULT hr = LoadFilterByCLSID(ClsidTesselNullTerminal, pINullTerminal_IBaseFilter,
                                         WIDE("Null Terminal"));
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadTransportStreamDecryptDemuxFilter) Couldn't Load Null Terminal Filter !", hr);
        return hr;
    }
    NullTerminalInGraph = true;
    return hr;
}

HRESULT MyFilterGraph::LoadTSBufferWriterFilter() {
    HRESULT created = S_OK;
    pTsBufferWriter = writerFactory_(nullptr, &created);
    if (pTsBufferWriter == nullptr) {
        Trace("(MyFilterGraph::LoadTSBufferWriterFilter) Couldn't Create Instance Of the Transport Stream Buffer Writer Filter !");
        return E_FAIL;
    }
    IBaseFilter* writer = static_cast<IBaseFilter*>(pTsBufferWriter);
    writer->AddRef();  // the graph object's own reference
    HRESULT hr = pITsBufferWriter_IBaseFilter.QueryFrom(writer, IID_IBaseFilter);
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadTSBufferWriterFilter) Failed To Query The Interface Of The Transport Stream Buffer Writer Filter !", hr);
        ReleaseTsWriter();
        return hr;
    }
    hr = AddToGraph(pITsBufferWriter_IBaseFilter.Get(), WIDE("Tessel's TS Buffer Writer"));
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadTSBufferWriterFilter) Failed To Add The Transport Stream Buffer Writer Filter Into Filter Graph !", hr);
        ReleaseTsWriter();
        return hr;
    }
    TsBufferWriterInGraph = true;
    return hr;
}

HRESULT MyFilterGraph::AutoConnectFilterEachOther(bool useDirect, IBaseFilter* upstream,
                                                  IBaseFilter* downstream, LPWSTR* upstreamPinId,
                                                  LPWSTR* downstreamPinId) {
    return PinConnector::Connect(pIFilterGraph_IGraphBuilder.Get(), useDirect, upstream,
                                 downstream, upstreamPinId, downstreamPinId);
}

// ---- assembly ------------------------------------------------------------------

HRESULT MyFilterGraph::AutoCreateMyDigitalTvFilterGraph() {
    Trace("(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph)");
    struct Step {
        HRESULT (MyFilterGraph::*Run)();
        const char* FailedText;  // null: the step traces its own failure
    };
    static const Step steps[] = {
        {&MyFilterGraph::InitializeGraphBuilder, nullptr},
        {&MyFilterGraph::LoadDTVDeviceFilter,
         "(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadDTVDeviceFilter() ----- Failed !"},
        {&MyFilterGraph::LoadNetworkProvider,
         "(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadNetworkProvider() ----- Failed !"},
        {&MyFilterGraph::ConnectProviderToTuner,
         "(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) Failed to Connect Network Provider And Device Driver Filter !"},
        {&MyFilterGraph::FindReceiverComponent, nullptr},
        {&MyFilterGraph::LoadTSBufferWriterFilter,
         "(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadTSBufferWriterFilter() ----- Failed !"},
        {&MyFilterGraph::ConnectSourceToWriter,
         "(MyFilterGraph::AutoCreateFrontMyDigitalTvFilterGraph) Failed to Connect Device Driver Filter And Tessel's TS Buffer Writer !"},
        {&MyFilterGraph::LoadNullTerminalFilter,
         "(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadNullTerminalFilter() ----- Failed !"},
        {&MyFilterGraph::ConnectWriterToTerminal,
         "(MyFilterGraph::AutoCreateFrontMyDigitalTvFilterGraph) Failed to Connect Tessel's TS Buffer Writer Filter And Tessel's Null Terminal Filter !"},
    };
    for (const Step& step : steps) {
        const HRESULT hr = (this->*step.Run)();
        if (FAILED(hr)) {
            if (step.FailedText != nullptr) TraceFailure(step.FailedText, hr);
            return hr;
        }
    }
    GraphOpen = true;
    return S_OK;
}

HRESULT MyFilterGraph::ConnectPair(IBaseFilter* upstream, IBaseFilter* downstream) {
    LPWSTR upId = nullptr;
    LPWSTR downId = nullptr;
    const HRESULT hr = AutoConnectFilterEachOther(true, upstream, downstream, &upId, &downId);
    CoTaskMemFree(upId);
    CoTaskMemFree(downId);
    return hr;
}

HRESULT MyFilterGraph::ConnectProviderToTuner() {
    return ConnectPair(device_.Provider().Get(), pITunerDevice_IBaseFilter.Get());
}

HRESULT MyFilterGraph::ConnectSourceToWriter() {
    IBaseFilter* source = receiverInUse_ ? pIReceiverComponent_IBaseFilter.Get()
                                         : pITunerDevice_IBaseFilter.Get();
    return ConnectPair(source, pITsBufferWriter_IBaseFilter.Get());
}

HRESULT MyFilterGraph::ConnectWriterToTerminal() {
    return ConnectPair(pITsBufferWriter_IBaseFilter.Get(), pINullTerminal_IBaseFilter.Get());
}

// Tries the receiver components in enumeration order; the first one that
// loads with S_OK and connects to the tuner's output stays. Finding none is
// not a failure: the tuner then feeds the writer directly.
HRESULT MyFilterGraph::FindReceiverComponent() {
    receiverInUse_ = false;
    uint16_t count = 0;
    CountingAvailableComponent(CategoryBdaReceiverComponent, &count);
    for (uint16_t index = 1; index <= count && index != 0; ++index) {
        WideChar name[DeviceNameCapacity] = {};
        WideChar path[DeviceNameCapacity] = {};
        GetComponentFriendlyNameAndDisplayName(CategoryBdaReceiverComponent, index, name, path);
        if (!IsSkippedReceiver(name) && TryReceiverComponent(name, path)) {
            receiverInUse_ = true;
            break;
        }
    }
    return S_OK;
}

bool MyFilterGraph::TryReceiverComponent(const WideChar* friendlyName, const WideChar* devicePath) {
    if (LoadFilterByFriendlyName(CategoryBdaReceiverComponent, pIReceiverComponent_IBaseFilter,
                                 friendlyName, devicePath, &ReceiverComponentInGraph) == S_OK) {
        if (ConnectPair(pITunerDevice_IBaseFilter.Get(), pIReceiverComponent_IBaseFilter.Get()) ==
            S_OK) {
            ReceiverComponentInGraph = true;
            return true;
        }
        pIFilterGraph_IGraphBuilder->RemoveFilter(pIReceiverComponent_IBaseFilter.Get());
    }
    // A success code other than S_OK may still have added the filter; the
    // tear-down's sweep removes it.
    pIReceiverComponent_IBaseFilter.Reset();
    ReceiverComponentInGraph = false;
    return false;
}

HRESULT MyFilterGraph::LoadDTVDeviceFilter() {
    const HRESULT hr = LoadFilterByFriendlyName(CategoryBdaNetworkTuner, pITunerDevice_IBaseFilter,
                                                SelectedFriendlyName, SelectedDevicePath,
                                                &TunerDeviceInGraph);
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadDTVDeviceFilter) Load TV Device Filter Failed !", hr);
        return hr;
    }
    TunerDeviceInGraph = true;
    return ExposeTunerPins();
}

// The tuner's topology and its two pin types (input, then output).
HRESULT MyFilterGraph::QueryTunerTopology(ComPtr<IBDA_Topology>* topology, ULONG* pinTypes) {
    HRESULT hr = topology->QueryFrom(pITunerDevice_IBaseFilter.Get(), IidBdaTopology);
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadDTVDeviceFilter) Query IBDA_Topology Interface Failed !", hr);
        return hr;
    }
    if (topology->Get() == nullptr) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) pIBDA_Topology == NULL !");
        return E_FAIL;
    }
    ULONG pinTypeCount = 0;
    hr = (*topology)->GetPinTypes(&pinTypeCount, TunerPinTypeCount, pinTypes);
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadDTVDeviceFilter) Get PIN Types Failed !", hr);
        return hr;
    }
    if (pinTypeCount != TunerPinTypeCount) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) NumberOfPinType != 2");
        return E_FAIL;
    }
    return hr;
}

// The tuner filter gets an input and an output pin from its topology's two
// pin types, but only where it does not expose them yet.
HRESULT MyFilterGraph::ExposeTunerPins() {
    ComPtr<IBDA_Topology> topology;
    ULONG pinTypes[TunerPinTypeCount] = {};
    HRESULT hr = QueryTunerTopology(&topology, pinTypes);
    if (FAILED(hr)) return hr;
    ComPtr<IEnumPins> pins;
    hr = pITunerDevice_IBaseFilter->EnumPins(pins.Receive());
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::LoadDTVDeviceFilter) Get Enumerate PIN Interface Failed !", hr);
        return hr;
    }
    if (pins.Get() == nullptr) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) pIEnumPins == NULL !");
        return E_FAIL;
    }
    static const char* const CreateFailed[TunerPinTypeCount] = {
        "(MyFilterGraph::LoadDTVDeviceFilter) Create DownStream Filter Input PIN Failed !",
        "(MyFilterGraph::LoadDTVDeviceFilter) Create DownStream Filter Output PIN Failed !"};
    // A pin the enumerator does not yield (none yet, or the set changed
    // because the first one was just created) is created from its type.
    for (ULONG i = 0; i < TunerPinTypeCount; ++i) {
        ComPtr<IPin> pin;
        hr = pins->Next(1, pin.Receive(), nullptr);
        if (hr == S_OK) continue;
        ULONG pinId = 0;
        hr = topology->CreatePin(pinTypes[i], &pinId);
        if (FAILED(hr)) {
            TraceFailure(CreateFailed[i], hr);
            return hr;
        }
    }
    return hr;
}

// ---- run, stop, tear-down ---------------------------------------------------

HRESULT MyFilterGraph::QueryMediaControl(ComPtr<IMediaControl>* control) {
    return pIFilterGraph_IGraphBuilder.Get() == nullptr
               ? E_UNEXPECTED
               : control->QueryFrom(pIFilterGraph_IGraphBuilder.Get(), IID_IMediaControl);
}

HRESULT MyFilterGraph::PlayMyFilterGraph() {
    Trace("(MyFilterGraph::PlayMyFilterGraph) Run !!!!!!!!!!!!!!!!!!!!!!!!");
    if (RunState == GraphRunning) return S_OK;
    ComPtr<IMediaControl> control;
    HRESULT hr = QueryMediaControl(&control);
    if (SUCCEEDED(hr)) hr = control->Run();
    if (SUCCEEDED(hr)) {
        if (hr == S_FALSE) {
            OAFilterState state = 0;
            control->GetState(PendingRunWaitMs, &state);
            hr = control->Run();
        }
        RunState = GraphRunning;
    }
    Trace("(MyFilterGraph::PlayMyFilterGraph) Result Of Filter Run", hr);
    return hr;
}

HRESULT MyFilterGraph::StopMyFilterGraph() {
    Trace("(MyFilterGraph::StopMyFilterGraph) Stop !!!!!!!!!!!!!!!!!!!!!!!!");
    if (RunState == GraphStopped) return S_OK;
    ComPtr<IMediaControl> control;
    HRESULT hr = QueryMediaControl(&control);
    if (SUCCEEDED(hr)) hr = control->Stop();
    if (SUCCEEDED(hr)) RunState = GraphStopped;
    Trace("(MyFilterGraph::StopMyFilterGraph) Result Of Filter Stop", hr);
    return hr;
}

HRESULT MyFilterGraph::TearMyFilterGraph() {
    RetireStaleGraphs();
    pIUnKnown_ICreateDevEnum.Reset();
    StopFiltersLeftActive(pIFilterGraph_IGraphBuilder.Get());
    RemoveTracked(pINullTerminal_IBaseFilter.Get(), &NullTerminalInGraph);
    RemoveTracked(device_.Provider().Get(), &NetworkProviderInGraph);
    RemoveTracked(pITunerDevice_IBaseFilter.Get(), &TunerDeviceInGraph);
    RemoveTracked(pIReceiverComponent_IBaseFilter.Get(), &ReceiverComponentInGraph);
    RemoveTracked(pITsBufferWriter_IBaseFilter.Get(), &TsBufferWriterInGraph);
    ReleaseFilters();
    HRESULT hr = S_OK;
    if (pIFilterGraph_IGraphBuilder.Get() != nullptr) {
        hr = SweepGraph(pIFilterGraph_IGraphBuilder.Get());
        // A graph the sweep could not empty is kept aside for another sweep
        // (releasing it would leave Wine's graph manager spinning over the
        // filter that refuses to leave); the next assembly starts a new one.
        if (FAILED(hr)) KeepStaleGraph();
        pIFilterGraph_IGraphBuilder.Reset();
        // No graph manager is left, so nothing runs: a failed Stop earlier
        // must not make the next assembly's PlayMyFilterGraph skip Run.
        RunState = GraphStopped;
    }
    // The filters are released whatever the sweep did: the graph is closed.
    GraphOpen = false;
    return hr;
}

// Each graph kept aside is stopped and swept again; one that empties now is
// released, one that still refuses stays (however many refuse in a row:
// releasing any of them could hang the caller, and every host call behind it).
void MyFilterGraph::RetireStaleGraphs() {
    for (size_t i = staleGraphs_.size(); i-- > 0;) {
        StopFiltersLeftActive(staleGraphs_[i].Get());
        if (FAILED(SweepGraph(staleGraphs_[i].Get()))) continue;
        staleGraphs_.erase(staleGraphs_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void MyFilterGraph::KeepStaleGraph() {
    try {
        staleGraphs_.push_back(std::move(pIFilterGraph_IGraphBuilder));
    } catch (...) {
        // No room to keep it: lost rather than released.
        Trace("(MyFilterGraph::TearMyFilterGraph) a graph that cannot be emptied is left behind");
        pIFilterGraph_IGraphBuilder.Detach();
    }
}

ComPtr<IMediaEventEx> MyFilterGraph::EventSource() const {
    ComPtr<IMediaEventEx> events;
    if (pIFilterGraph_IGraphBuilder.Get() != nullptr)
        events.QueryFrom(pIFilterGraph_IGraphBuilder.Get(), IID_IMediaEventEx);
    return events;
}

bool MyFilterGraph::ReadyForNewGraph() {
    RetireStaleGraphs();
    return staleGraphs_.size() <= 1;
}

bool MyFilterGraph::FindApartmentBoundClass(std::wstring* classId, std::wstring* model) const {
    std::vector<GUID> classes = {CLSID_FilterGraph, CLSID_SystemDeviceEnum};
    ComPtr<IEnumFilters> filters;
    if (pIFilterGraph_IGraphBuilder.Get() != nullptr &&
        SUCCEEDED(pIFilterGraph_IGraphBuilder->EnumFilters(filters.Receive())) &&
        filters.Get() != nullptr) {
        for (ComPtr<IBaseFilter> filter; filters->Next(1, filter.Receive(), nullptr) == S_OK;) {
            // The TS writer is this library's own object, made without COM.
            if (filter.Get() == pITsBufferWriter_IBaseFilter.Get()) continue;
            CLSID clsid = GUID_NULL;
            if (SUCCEEDED(filter->GetClassID(&clsid))) classes.push_back(clsid);
        }
    }
    for (const GUID& clsid : classes) {
        const ClassThreadingInfo info = ReadClassThreading(clsid);
        if (AnyApartment(info.Model)) continue;
        *classId = ClassIdText(clsid);
        *model = info.Text.empty() ? L"(none)" : info.Text;
        return true;
    }
    return false;
}

void MyFilterGraph::RemoveTracked(IBaseFilter* filter, bool* inGraph) {
    if (*inGraph && filter != nullptr && pIFilterGraph_IGraphBuilder.Get() != nullptr)
        pIFilterGraph_IGraphBuilder->RemoveFilter(filter);
    *inGraph = false;
}

void MyFilterGraph::ReleaseFilters() {
    device_.SetProvider(ComPtr<IBaseFilter>());
    pITunerDevice_IBaseFilter.Reset();
    pIReceiverComponent_IBaseFilter.Reset();
    pINullTerminal_IBaseFilter.Reset();
    ReleaseTsWriter();
}

void MyFilterGraph::ReleaseTsWriter() {
    pITsBufferWriter_IBaseFilter.Reset();
    if (pTsBufferWriter != nullptr) {
        // Drops the graph object's own reference, taken when it was loaded.
        static_cast<IBaseFilter*>(pTsBufferWriter)->Release();
        pTsBufferWriter = nullptr;
    }
}

// A filter that is not stopped refuses to give up its connections, so the
// graph manager cannot remove it, and Wine's graph manager then spins forever
// when its last reference goes. Filters are left paused or running behind the
// graph manager's back when its Run fails while pausing (Wine leaves the
// filters that did pause as they are) or when a filter fails its Stop. Such
// filters are stopped here one by one; stopped ones are left alone.
void MyFilterGraph::StopFiltersLeftActive(IGraphBuilder* graph) {
    if (graph == nullptr) return;
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.Receive())) ||
        filters.Get() == nullptr)
        return;
    for (ComPtr<IBaseFilter> filter; filters->Next(1, filter.Receive(), nullptr) == S_OK;) {
        FILTER_STATE state = State_Stopped;
        if (FAILED(filter->GetState(0, &state)) || state != State_Stopped) filter->Stop();
    }
}

// Removes every filter still in `graph`, tracked or not.
HRESULT MyFilterGraph::SweepGraph(IGraphBuilder* graph) {
    ComPtr<IEnumFilters> filters;
    const HRESULT listed = graph->EnumFilters(filters.Receive());
    if (FAILED(listed) || filters.Get() == nullptr) {
        TraceFailure("(MyFilterGraph::TearMyFilterGraph) TearMyFilterGraph : cannot EnumFilters !",
                     FAILED(listed) ? listed : E_POINTER);
        return E_FAIL;
    }
    filters->Reset();
    for (ComPtr<IBaseFilter> filter; filters->Next(1, filter.Receive(), nullptr) == S_OK;) {
        const HRESULT hr = graph->RemoveFilter(filter.Get());
        if (FAILED(hr)) {
            TraceFailure("(MyFilterGraph::TearMyFilterGraph) Remove Filter Failed !", hr);
            return hr;
        }
        filters->Reset();
    }
    return S_OK;
}

// ---- TunerDeviceControl operations -----------------------------------------

HRESULT MyFilterGraph::SetTunerMode(uint32_t mode) {
    return device_.Invoke(&TunerDeviceControl::SetTunerMode, mode);
}

HRESULT MyFilterGraph::SetTransportStreanEncryptionFlag(uint32_t enableFlag) {
    Trace("(MyFilterGraph::SetTransportStreanEncryptionFlag)");
    Trace("(MyFilterGraph::SetTransportStreanEncryptionFlag) EnableFlag", enableFlag);
    return device_.Invoke(&TunerDeviceControl::SetTransportStreanEncryptionFlag, enableFlag);
}

HRESULT MyFilterGraph::SetFrequency(const TuneFrequency* frequency) {
    return device_.Invoke(&TunerDeviceControl::SetFrequency, frequency);
}

HRESULT MyFilterGraph::SetTuneRequest(const TuneRequest* request) {
    return device_.Invoke(&TunerDeviceControl::SetTuneRequest, request);
}

HRESULT MyFilterGraph::GetSignalStatistics(SignalStatistics* statistics) {
    return device_.Invoke(&TunerDeviceControl::GetSignalStatistics, statistics);
}

HRESULT MyFilterGraph::ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key) {
    return device_.ReadRemoteControlKey(selector, code, key);
}

HRESULT MyFilterGraph::CheckLNBPowerCircuit(uint32_t value) {
    Trace("(MyFilterGraph::CheckLNBPowerCircuit)");
    return device_.Invoke(&TunerDeviceControl::CheckLNBPowerCircuit, value);
}

HRESULT MyFilterGraph::SetLNBPower(uint32_t value) {
    Trace("(MyFilterGraph::SetLNBPower)");
    return device_.Invoke(&TunerDeviceControl::SetLNBPower, value);
}

HRESULT MyFilterGraph::GetLNBPower(uint32_t value) {
    Trace("(MyFilterGraph::GetLNBPower)");
    return device_.Invoke(&TunerDeviceControl::GetLNBPower, value);
}

HRESULT MyFilterGraph::FactoryModeWriteManufacturerProductSerialNumber(uint32_t manufacturer,
                                                                       uint32_t product,
                                                                       uint32_t serialNumber) {
    Trace("(MyFilterGraph::FactoryModeWriteManufacturerProductSerialNumber)");
    return device_.Invoke(&TunerDeviceControl::FactoryModeWriteManufacturerProductSerialNumber,
                          manufacturer, product, serialNumber);
}

HRESULT MyFilterGraph::ResetCard() {
    return device_.Call([](TunerDeviceControl& control) { return ResetPresentCard(control); });
}

HRESULT MyFilterGraph::GetCardStatus(uint32_t* cardPresent) {
    return device_.Invoke(&TunerDeviceControl::GetCardStatus, cardPresent);
}

HRESULT MyFilterGraph::TransmitCardCommand(const uint8_t* command, uint32_t length,
                                           uint8_t* response, uint32_t responseSize) {
    return device_.Call([&](TunerDeviceControl& control) {
        return TransmitToPresentCard(control, command, length, response, responseSize);
    });
}

HRESULT MyFilterGraph::EnablePidFilter(uint32_t enable) {
    return device_.Invoke(&TunerDeviceControl::EnablePidFilter, enable);
}

HRESULT MyFilterGraph::SetPidFilterList(uint32_t count, const uint16_t* pids) {
    return device_.Invoke(&TunerDeviceControl::SetPidFilterList, count, pids);
}
