// Connects two filters pin to pin: the first free output pin of the upstream
// filter (in enumeration order) that connects to a free input pin of the
// downstream filter. At most one connection per call; the graph manager never
// inserts filters of its own when `useDirect` is set (ConnectDirect).
#pragma once

#include <strmif.h>

class PinConnector {
public:
    // S_OK with both pin identifiers allocated by the COM task allocator (the
    // caller frees them with CoTaskMemFree), or a failure code. Every pin,
    // enumerator and PIN_INFO reference taken is released on every path.
    static HRESULT Connect(IGraphBuilder* graph, bool useDirect, IBaseFilter* upstream,
                           IBaseFilter* downstream, LPWSTR* upstreamPinId,
                           LPWSTR* downstreamPinId);

private:
    // The downstream half for one free upstream output pin: S_OK once
    // connected, S_FALSE when no input pin took it, or a failure to stop at.
    static HRESULT ConnectToFreeInput(IGraphBuilder* graph, bool useDirect, IPin* up,
                                      IBaseFilter* downstream, LPWSTR* upstreamPinId,
                                      LPWSTR* downstreamPinId);
};
