// Assembly, run, stop and tear-down of the capture graph.
//
// Assembly loads and connects the chain step by step and cleans nothing up
// on failure: the caller's TearMyFilterGraph removes exactly what the
// in-graph flags name, then sweeps the graph manager for anything else.
// RunState is 2 (stopped) or 0 (running); once tear-down has released the
// graph manager it is back to 2, since no graph is left that could run.
#include <bdaiface.h>

#include "filter/CTsWriter.h"
#include "graph/MyFilterGraph.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

namespace {

constexpr DWORD PendingRunWaitMs = 1000;

bool IsSkippedReceiver(const WideChar* friendlyName) {
    return WideEqualN(friendlyName, WIDE("BDA MPE Filter"), GraphNameCapacity) ||
           WideEqualN(friendlyName, WIDE("BDA Slip De-Framer"), GraphNameCapacity);
}

}  // namespace

HRESULT MyFilterGraph::ConnectPair(IBaseFilter* upstream, IBaseFilter* downstream) {
    LPWSTR upId = nullptr;
    LPWSTR downId = nullptr;
    HRESULT hr = AutoConnectFilterEachOther(1, upstream, downstream, &upId, &downId);
    CoTaskMemFree(upId);
    CoTaskMemFree(downId);
    return hr;
}

HRESULT MyFilterGraph::AutoCreateMyDigitalTvFilterGraph() {
    Trace("(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph)");
    HRESULT hr = InitializeGraphBuilder();
    if (FAILED(hr)) return hr;
    hr = LoadDTVDeviceFilter();
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadDTVDeviceFilter() ----- Failed !");
        return hr;
    }
    hr = LoadNetworkProvider();
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadNetworkProvider() ----- Failed !");
        return hr;
    }
    hr = ConnectPair(pINetworkProvider_IBaseFilter.Get(), pITunerDevice_IBaseFilter.Get());
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) Failed to Connect Network Provider And Device Driver Filter !");
        return hr;
    }
    bool receiverInUse = false;
    SearchReceiverComponent(&receiverInUse);
    hr = LoadTSBufferWriterFilter();
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadTSBufferWriterFilter() ----- Failed !");
        return hr;
    }
    IBaseFilter* source =
        receiverInUse ? pIReceiverComponent_IBaseFilter.Get() : pITunerDevice_IBaseFilter.Get();
    hr = ConnectPair(source, pITsBufferWriter_IBaseFilter.Get());
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoCreateFrontMyDigitalTvFilterGraph) Failed to Connect Device Driver Filter And Tessel's TS Buffer Writer !");
        return hr;
    }
    hr = LoadNullTerminalFilter();
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoCreateMyDigitalTvFilterGraph) LoadNullTerminalFilter() ----- Failed !");
        return hr;
    }
    hr = ConnectPair(pITsBufferWriter_IBaseFilter.Get(), pINullTerminal_IBaseFilter.Get());
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoCreateFrontMyDigitalTvFilterGraph) Failed to Connect Tessel's TS Buffer Writer Filter And Tessel's Null Terminal Filter !");
        return hr;
    }
    GraphOpen = 1;
    return S_OK;
}

// Tries the receiver components in enumeration order; the first one that
// loads with S_OK and connects to the tuner's output stays. Finding none is
// not a failure: the tuner then feeds the writer directly.
void MyFilterGraph::SearchReceiverComponent(bool* inUse) {
    *inUse = false;
    uint16_t count = 0;
    CountingAvailableComponent(CategoryBdaReceiverComponent, &count);
    for (uint16_t index = 1; index <= count && index != 0; ++index) {
        WideChar name[GraphNameCapacity] = {};
        WideChar path[GraphNameCapacity] = {};
        GetComponentFriendlyNameAndDisplayName(CategoryBdaReceiverComponent, index, name, path);
        if (IsSkippedReceiver(name)) continue;
        HRESULT hr = LoadFilterByFriendlyName(CategoryBdaReceiverComponent,
                                              pIReceiverComponent_IBaseFilter, name, path,
                                              &ReceiverComponentInGraph);
        if (hr != S_OK) {
            // A success code other than S_OK may still have added the filter;
            // the tear-down's sweep removes it.
            pIReceiverComponent_IBaseFilter.Reset();
            ReceiverComponentInGraph = 0;
            continue;
        }
        if (ConnectPair(pITunerDevice_IBaseFilter.Get(), pIReceiverComponent_IBaseFilter.Get()) ==
            S_OK) {
            ReceiverComponentInGraph = 1;
            *inUse = true;
            return;
        }
        pIFilterGraph_IGraphBuilder->RemoveFilter(pIReceiverComponent_IBaseFilter.Get());
        pIReceiverComponent_IBaseFilter.Reset();
        ReceiverComponentInGraph = 0;
    }
}

HRESULT MyFilterGraph::LoadDTVDeviceFilter() {
    HRESULT hr = LoadFilterByFriendlyName(CategoryBdaNetworkTuner, pITunerDevice_IBaseFilter,
                                          SelectedFriendlyName, SelectedDevicePath,
                                          &TunerDeviceInGraph);
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) Load TV Device Filter Failed !");
        return hr;
    }
    TunerDeviceInGraph = 1;
    ComPtr<IBDA_Topology> topology;
    hr = pITunerDevice_IBaseFilter->QueryInterface(IidBdaTopology,
                                                   reinterpret_cast<void**>(topology.Receive()));
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) Query IBDA_Topology Interface Failed !");
        return hr;
    }
    if (topology.Get() == nullptr) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) pIBDA_Topology == NULL !");
        return E_FAIL;
    }
    ULONG pinTypeCount = 0;
    ULONG pinTypes[2] = {};
    hr = topology->GetPinTypes(&pinTypeCount, 2, pinTypes);
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) Get PIN Types Failed !");
        return hr;
    }
    if (pinTypeCount != 2) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) NumberOfPinType != 2");
        return E_FAIL;
    }
    ComPtr<IEnumPins> pins;
    hr = pITunerDevice_IBaseFilter->EnumPins(pins.Receive());
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) Get Enumerate PIN Interface Failed !");
        return hr;
    }
    if (pins.Get() == nullptr) {
        Trace("(MyFilterGraph::LoadDTVDeviceFilter) pIEnumPins == NULL !");
        return E_FAIL;
    }
    ComPtr<IPin> pin;
    hr = pins->Next(1, pin.Receive(), nullptr);
    if (hr != S_OK) {
        ULONG pinId = 0;
        hr = topology->CreatePin(pinTypes[0], &pinId);
        if (FAILED(hr)) {
            Trace("(MyFilterGraph::LoadDTVDeviceFilter) Create DownStream Filter Input PIN Failed !");
            return hr;
        }
    }
    pin.Reset();
    hr = pins->Next(1, pin.Receive(), nullptr);
    if (hr != S_OK) {
        ULONG pinId = 0;
        hr = topology->CreatePin(pinTypes[1], &pinId);
        if (FAILED(hr)) {
            Trace("(MyFilterGraph::LoadDTVDeviceFilter) Create DownStream Filter Output PIN Failed !");
            return hr;
        }
    }
    return hr;
}

HRESULT MyFilterGraph::PlayMyFilterGraph() {
    Trace("(MyFilterGraph::PlayMyFilterGraph) Run !!!!!!!!!!!!!!!!!!!!!!!!");
    if (RunState == GraphRunning) return S_OK;
    ComPtr<IMediaControl> control;
    HRESULT hr = pIFilterGraph_IGraphBuilder.Get() == nullptr
                     ? E_UNEXPECTED
                     : pIFilterGraph_IGraphBuilder->QueryInterface(
                           IID_IMediaControl, reinterpret_cast<void**>(control.Receive()));
    if (SUCCEEDED(hr)) {
        hr = control->Run();
        if (SUCCEEDED(hr)) {
            if (hr == S_FALSE) {
                OAFilterState state = 0;
                control->GetState(PendingRunWaitMs, &state);
                hr = control->Run();
            }
            RunState = GraphRunning;
        }
    }
    Trace("(MyFilterGraph::PlayMyFilterGraph) Result Of Filter Run", hr);
    return hr;
}

HRESULT MyFilterGraph::StopMyFilterGraph() {
    Trace("(MyFilterGraph::StopMyFilterGraph) Stop !!!!!!!!!!!!!!!!!!!!!!!!");
    if (RunState == GraphStopped) return S_OK;
    ComPtr<IMediaControl> control;
    HRESULT hr = pIFilterGraph_IGraphBuilder.Get() == nullptr
                     ? E_UNEXPECTED
                     : pIFilterGraph_IGraphBuilder->QueryInterface(
                           IID_IMediaControl, reinterpret_cast<void**>(control.Receive()));
    if (SUCCEEDED(hr)) {
        hr = control->Stop();
        if (SUCCEEDED(hr)) RunState = GraphStopped;
    }
    Trace("(MyFilterGraph::StopMyFilterGraph) Result Of Filter Stop", hr);
    return hr;
}

void MyFilterGraph::RemoveTracked(IBaseFilter* filter, int32_t* inGraph) {
    if (*inGraph != 0 && filter != nullptr && pIFilterGraph_IGraphBuilder.Get() != nullptr)
        pIFilterGraph_IGraphBuilder->RemoveFilter(filter);
    *inGraph = 0;
}

HRESULT MyFilterGraph::TearMyFilterGraph() {
    pIUnKnown_ICreateDevEnum.Reset();
    StopFiltersLeftActive();
    RemoveTracked(pINullTerminal_IBaseFilter.Get(), &NullTerminalInGraph);
    RemoveTracked(pINetworkProvider_IBaseFilter.Get(), &NetworkProviderInGraph);
    RemoveTracked(pITunerDevice_IBaseFilter.Get(), &TunerDeviceInGraph);
    RemoveTracked(pIReceiverComponent_IBaseFilter.Get(), &ReceiverComponentInGraph);
    RemoveTracked(pITsBufferWriter_IBaseFilter.Get(), &TsBufferWriterInGraph);
    DropNetworkProvider();
    pITunerDevice_IBaseFilter.Reset();
    pIReceiverComponent_IBaseFilter.Reset();
    pINullTerminal_IBaseFilter.Reset();
    ReleaseTsWriter();
    if (pIFilterGraph_IGraphBuilder.Get() != nullptr) {
        HRESULT hr = SweepGraph();
        if (FAILED(hr)) return hr;
        pIFilterGraph_IGraphBuilder.Reset();
        // No graph manager is left, so nothing runs: a failed Stop earlier
        // must not make the next assembly's PlayMyFilterGraph skip Run.
        RunState = GraphStopped;
    }
    GraphOpen = 0;
    return S_OK;
}

// A filter that is not stopped refuses to give up its connections, so the
// graph manager cannot remove it, and Wine's graph manager then spins forever
// when its last reference goes. Filters are left paused or running behind the
// graph manager's back when its Run fails while pausing (Wine leaves the
// filters that did pause as they are) or when a filter fails its Stop. Such
// filters are stopped here one by one; stopped ones are left alone.
void MyFilterGraph::StopFiltersLeftActive() {
    if (pIFilterGraph_IGraphBuilder.Get() == nullptr) return;
    ComPtr<IEnumFilters> filters;
    if (FAILED(pIFilterGraph_IGraphBuilder->EnumFilters(filters.Receive())) ||
        filters.Get() == nullptr)
        return;
    for (;;) {
        ComPtr<IBaseFilter> filter;
        if (filters->Next(1, filter.Receive(), nullptr) != S_OK) break;
        FILTER_STATE state = State_Stopped;
        if (FAILED(filter->GetState(0, &state)) || state != State_Stopped) filter->Stop();
    }
}

// Removes every filter still in the graph, tracked or not.
HRESULT MyFilterGraph::SweepGraph() {
    ComPtr<IEnumFilters> filters;
    if (FAILED(pIFilterGraph_IGraphBuilder->EnumFilters(filters.Receive())) ||
        filters.Get() == nullptr) {
        Trace("(MyFilterGraph::TearMyFilterGraph) TearMyFilterGraph : cannot EnumFilters !");
        return E_FAIL;
    }
    filters->Reset();
    for (;;) {
        ComPtr<IBaseFilter> filter;
        if (filters->Next(1, filter.Receive(), nullptr) != S_OK) break;
        HRESULT hr = pIFilterGraph_IGraphBuilder->RemoveFilter(filter.Get());
        if (FAILED(hr)) {
            Trace("(MyFilterGraph::TearMyFilterGraph) Remove Filter Failed !");
            return hr;
        }
        filters->Reset();
    }
    return S_OK;
}
