// DriverLock lives in static storage and is constructed at process attach and
// destroyed when the library is unloaded, never at process exit.
#include "driver/ProcessState.h"

#include <atomic>
#include <new>

#include "graph/MyFilterGraph.h"

namespace {
alignas(ReentrantLock) unsigned char DriverLockStorage[sizeof(ReentrantLock)];
std::atomic<bool> ProcessExiting{false};

// The loader's own answer, read at the call: a host library's detach may run
// before this one's. The function is ntdll's, looked up at attach rather
// than linked.
typedef BOOLEAN(WINAPI* ShutdownQuery)();
ShutdownQuery loaderShutdownQuery = nullptr;

bool LoaderShutsDown() { return loaderShutdownQuery != nullptr && loaderShutdownQuery() != FALSE; }
}  // namespace

HMODULE ModuleHandle = nullptr;
ReentrantLock& DriverLock = *reinterpret_cast<ReentrantLock*>(DriverLockStorage);
MyFilterGraph* CurrentGraph = nullptr;
CMyBonDriver* CurrentDriver = nullptr;
PIDMap ProcessPidMap;
SmartCardReader ProcessCardReader;
PidFilterState ProcessPidFilter;
std::atomic<int64_t> ProcessLnbPower{-1};

void AttachProcessState(HMODULE module) {
    ModuleHandle = module;
    new (DriverLockStorage) ReentrantLock();
    loaderShutdownQuery = reinterpret_cast<ShutdownQuery>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
}

void DetachProcessState(bool processExit) {
    if (processExit) {
        ProcessExiting.store(true);
        return;
    }
    ModuleHandle = nullptr;
    DriverLock.~ReentrantLock();
}

bool ProcessIsExiting() { return ProcessExiting.load() || LoaderShutsDown(); }

MyFilterGraph* OpenGraph() {
    MyFilterGraph* graph = CurrentGraph;
    return graph != nullptr && graph->IsGraphOpen() ? graph : nullptr;
}
