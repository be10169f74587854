// The open-tuner test that every extension export makes first.
#pragma once

#include "exports/DriverGlobals.h"
#include "graph/MyFilterGraph.h"

// CurrentGraph when it exists and its graph is open, else null. The graph
// stays owned by the driver object; callers use it for the current call only.
inline MyFilterGraph* OpenGraph() {
    MyFilterGraph* graph = CurrentGraph;
    return graph != nullptr && graph->IsGraphOpen() == 1 ? graph : nullptr;
}
