// DriverLock lives in static storage and is constructed at process attach and
// destroyed at detach, so that its lifetime is exactly the library's
// attachment.
#include "driver/ProcessState.h"

#include <new>

#include "graph/MyFilterGraph.h"

namespace {
alignas(ReentrantLock) unsigned char DriverLockStorage[sizeof(ReentrantLock)];
}

HMODULE ModuleHandle = nullptr;
ReentrantLock& DriverLock = *reinterpret_cast<ReentrantLock*>(DriverLockStorage);
MyFilterGraph* CurrentGraph = nullptr;
CMyBonDriver* CurrentDriver = nullptr;
PIDMap ProcessPidMap;
SmartCardReader ProcessCardReader;

void AttachProcessState(HMODULE module) {
    ModuleHandle = module;
    new (DriverLockStorage) ReentrantLock();
}

void DetachProcessState() {
    ModuleHandle = nullptr;
    DriverLock.~ReentrantLock();
}

MyFilterGraph* OpenGraph() {
    MyFilterGraph* graph = CurrentGraph;
    return graph != nullptr && graph->IsGraphOpen() ? graph : nullptr;
}
