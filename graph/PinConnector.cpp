#include "graph/PinConnector.h"

#include "dshow/ComPtr.h"
#include "platform/Trace.h"

namespace {

// Frees a PIN_INFO's filter reference when it goes.
class ScopedPinInfo {
public:
    ScopedPinInfo() : info_{} {}
    ~ScopedPinInfo() {
        if (info_.pFilter != nullptr) info_.pFilter->Release();
    }
    ScopedPinInfo(const ScopedPinInfo&) = delete;
    ScopedPinInfo& operator=(const ScopedPinInfo&) = delete;
    PIN_INFO* Get() { return &info_; }

private:
    PIN_INFO info_;
};

}  // namespace

HRESULT PinConnector::Connect(IGraphBuilder* graph, bool useDirect, IBaseFilter* upstream,
                              IBaseFilter* downstream, LPWSTR* upstreamPinId,
                              LPWSTR* downstreamPinId) {
    if (graph == nullptr || upstream == nullptr || downstream == nullptr) return E_UNEXPECTED;
    ComPtr<IEnumPins> upPins;
    HRESULT hr = upstream->EnumPins(upPins.Receive());
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::AutoConnectFilterEachOther) Cannot Enumerate Upstream Filter's Pins !", hr);
        return hr;
    }
    for (ComPtr<IPin> up; upPins.Get() != nullptr && upPins->Next(1, up.Receive(), nullptr) == S_OK;) {
        ScopedPinInfo upInfo;
        hr = up->QueryPinInfo(upInfo.Get());
        if (FAILED(hr)) {
            TraceFailure("(MyFilterGraph::AutoConnectFilterEachOther) Cannot Obtain Upstream Filter's PIN_INFO", hr);
            return hr;
        }
        ComPtr<IPin> upPeer;
        up->ConnectedTo(upPeer.Receive());
        if (upInfo.Get()->dir != PINDIR_OUTPUT || upPeer.Get() != nullptr) continue;
        hr = ConnectToFreeInput(graph, useDirect, up.Get(), downstream, upstreamPinId,
                                downstreamPinId);
        if (hr != S_FALSE) return hr;
    }
    Trace("(MyFilterGraph::AutoConnectFilterEachOther) Failed to connect filters");
    return E_FAIL;
}

HRESULT PinConnector::ConnectToFreeInput(IGraphBuilder* graph, bool useDirect, IPin* up,
                                         IBaseFilter* downstream, LPWSTR* upstreamPinId,
                                         LPWSTR* downstreamPinId) {
    ComPtr<IEnumPins> downPins;
    const HRESULT hr = downstream->EnumPins(downPins.Receive());
    if (FAILED(hr)) {
        TraceFailure("(MyFilterGraph::AutoConnectFilterEachOther) Cannot enumerate pins on downstream filter", hr);
        return hr;
    }
    for (ComPtr<IPin> down;
         downPins.Get() != nullptr && downPins->Next(1, down.Receive(), nullptr) == S_OK;) {
        ScopedPinInfo downInfo;
        if (FAILED(down->QueryPinInfo(downInfo.Get()))) continue;
        ComPtr<IPin> downPeer;
        const HRESULT peer = down->ConnectedTo(downPeer.Receive());
        if (FAILED(peer) && peer != VFW_E_NOT_CONNECTED) {
            TraceFailure("(MyFilterGraph::AutoConnectFilterEachOther) Failed in pIPinDownstream->ConnectedTo()", peer);
            continue;
        }
        if (downInfo.Get()->dir != PINDIR_INPUT || downPeer.Get() != nullptr) continue;
        const HRESULT connected = useDirect ? graph->ConnectDirect(up, down.Get(), nullptr)
                                            : graph->Connect(up, down.Get());
        if (SUCCEEDED(connected)) {
            up->QueryId(upstreamPinId);
            down->QueryId(downstreamPinId);
            return S_OK;
        }
    }
    return S_FALSE;
}
