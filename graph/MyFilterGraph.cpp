// Construction, destruction and the small state accessors of MyFilterGraph.
#include "graph/MyFilterGraph.h"

#include "filter/CTsWriter.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

namespace {
const WideChar UnknownName[] = WIDE("Unknown !");
}

MyFilterGraph::MyFilterGraph()
    : pTsBufferWriter(nullptr),
      NetworkProviderInGraph(0),
      TunerDeviceInGraph(0),
      ReceiverComponentInGraph(0),
      NullTerminalInGraph(0),
      TsBufferWriterInGraph(0),
      RunState(GraphStopped),
      GraphOpen(0),
      HostWindowCount(0),
      HostWindows{} {
    WideCopyTruncate(SelectedFriendlyName, GraphNameCapacity, UnknownName);
    WideCopyTruncate(SelectedDevicePath, GraphNameCapacity, UnknownName);
    // A failed creation leaves the handle null; construction goes on.
    StopThreadEvent.CreateAutoReset();
    ThreadExitedEvent.CreateAutoReset();
}

MyFilterGraph::~MyFilterGraph() {
    Trace("(MyFilterGraph::~MyFilterGraph) Waiting for terminating thread begin !");
    if (StopThreadEvent.Get() != nullptr) SetEvent(StopThreadEvent.Get());
    // A thread runs only when host windows were collected; without one there
    // is nothing to wait for.
    if (HostWindowCount != 0 && ThreadExitedEvent.Get() != nullptr)
        WaitForSingleObject(ThreadExitedEvent.Get(), INFINITE);
    Trace("(MyFilterGraph::~MyFilterGraph) Waiting for terminating thread end !");
    if (GraphOpen != 0) {
        if (RunState != GraphStopped) StopMyFilterGraph();
        TearMyFilterGraph();
    }
    // Whatever is still held (a failed sweep) is released without removal,
    // in this order; the ComPtr members would do it anyway, but the order
    // is kept explicit.
    pINullTerminal_IBaseFilter.Reset();
    pIReceiverComponent_IBaseFilter.Reset();
    pITunerDevice_IBaseFilter.Reset();
    pINetworkProvider_IBaseFilter.Reset();
    pIUnKnown_ICreateDevEnum.Reset();
    pIFilterGraph_IGraphBuilder.Reset();
    ReleaseTsWriter();
}

void MyFilterGraph::SetTunerNames(const WideChar* friendlyName, const WideChar* devicePath) {
    WideCopyTruncate(SelectedFriendlyName, GraphNameCapacity, friendlyName);
    WideCopyTruncate(SelectedDevicePath, GraphNameCapacity, devicePath);
}

int32_t MyFilterGraph::IsHostWindow(HWND window) const {
    for (uint8_t i = 0; i < HostWindowCount && i < MaxHostWindows; ++i)
        if (HostWindows[i] == window) return 1;
    return 0;
}

void MyFilterGraph::ReleaseTsWriter() {
    pITsBufferWriter_IBaseFilter.Reset();
    if (pTsBufferWriter != nullptr) {
        // Drops the graph object's own reference, taken when it was loaded.
        static_cast<IBaseFilter*>(pTsBufferWriter)->Release();
        pTsBufferWriter = nullptr;
    }
}
