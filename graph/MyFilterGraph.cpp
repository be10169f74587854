// Construction, destruction and the small state accessors of MyFilterGraph,
// and the guarded network provider pointer that the remote-key thread shares.
#include "graph/MyFilterGraph.h"

#include <process.h>

#include "filter/CTsWriter.h"
#include "graph/SentMessageWait.h"
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
    HostWindowList windows;
    CollectHostWindows(GetCurrentProcessId(), &windows);
    HostWindowCount = windows.Count;
    for (uint8_t i = 0; i < MaxHostWindows; ++i) HostWindows[i] = windows.Windows[i];
    // Without either event the thread could never be told to stop, or its
    // end never be seen: then no thread at all.
    if (HostWindowCount != 0 && StopThreadEvent.Get() != nullptr &&
        ThreadExitedEvent.Get() != nullptr)
        KeyThread.Adopt(reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, &RemoteKeyThread, this, 0, nullptr)));
}

MyFilterGraph::~MyFilterGraph() {
    Trace("(MyFilterGraph::~MyFilterGraph) Waiting for terminating thread begin !");
    if (StopThreadEvent.Get() != nullptr) SetEvent(StopThreadEvent.Get());
    if (KeyThread.Get() != nullptr) {
        // The thread may be inside SendMessageW to a window of this very
        // thread, so the waits keep handling sent messages.
        WaitDispatchingSentMessages(ThreadExitedEvent.Get());
        // Its last instructions after the signal are still in this module,
        // which the host may unload as soon as Release returns.
        WaitDispatchingSentMessages(KeyThread.Get());
        KeyThread.Close();
    }
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
    DropNetworkProvider();
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

ComPtr<IBaseFilter> MyFilterGraph::NetworkProviderReference() {
    ScopedLock lock(ProviderLock);
    return pINetworkProvider_IBaseFilter;
}

void MyFilterGraph::PublishNetworkProvider(ComPtr<IBaseFilter>&& provider) {
    ComPtr<IBaseFilter> previous(std::move(provider));
    {
        ScopedLock lock(ProviderLock);
        pINetworkProvider_IBaseFilter.Swap(previous);
    }
}

void MyFilterGraph::DropNetworkProvider() {
    PublishNetworkProvider(ComPtr<IBaseFilter>());
}
