// The library's lifetime as hosts really run it: loaded and unloaded many
// times, released on another thread than the one that created it, a hundred
// whole sessions and a thousand reopens in one process. The scenarios
// count the process's handles by type, its threads, its private bytes and
// the bytes in use in its heaps (and, for bare loads, its TLS slots) before
// and after, and hold the growth to fixed bounds beyond what Wine itself
// leaks for as many bare filter graphs and device walks, measured in the
// same test. Each prints its figures so that they can be quoted.
#include <dshow.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/BdaGuids.h"
#include "tests/windows/DriverHarness.h"
#include "tests/windows/ProcessCensus.h"

namespace {

constexpr DWORD ChunkBytes = 192512;
// Paced fast enough for a chunk every 10 ms, slow enough that a session
// never fills the queue.
constexpr uint64_t SessionBitRate = 160000000;
// The watchdog's bound for the two long scenarios (each takes well under a
// minute on an idle machine).
constexpr DWORD LongScenarioSeconds = 300;

constexpr int BareLoads = 100;
constexpr int ManyLoads = 1000;
constexpr long BareLoadHandleBound = 4;
// On 32-bit x86 the statically linked unwinder registers the library's
// exception frames at every load, under a mutex whose semaphore libgcc makes
// then and never closes; nothing outside libgcc's private state can reach
// it. Those semaphores are counted apart (and only they), one per load.
#if defined(__i386__)
constexpr long RuntimeSemaphoresPerLoad = 1;
#else
constexpr long RuntimeSemaphoresPerLoad = 0;
#endif

// The handle growth without the runtime's semaphores of `loads` loads.
long HandlesBeyondRuntime(const ProcessFigures& growth, long loads) {
    const auto semaphores = growth.HandlesByType.find("Semaphore");
    const long counted = semaphores == growth.HandlesByType.end() ? 0 : semaphores->second;
    return growth.Handles - std::min(counted, loads * RuntimeSemaphoresPerLoad);
}
// Far below one load's emergency pool for exceptions (19 KiB on 32-bit).
constexpr int64_t BareLoadHeapBound = 256 << 10;
constexpr int64_t BareLoadPrivateBound = 1 << 20;
constexpr int Sessions = 100;
constexpr long SessionHandleBound = 4;
constexpr int64_t SessionPrivateBound = 1 << 20;
constexpr int Reopens = 1000;
constexpr long ReopenHandleBound = 64;
constexpr int64_t ReopenPrivateBound = 16ll << 20;
constexpr long SessionThreadBound = 2;
// The driver walks the tuner category to count the tuners and to name the
// one it selects when it is created, and to find it again at each open.
constexpr int CategoryWalksPerSession = 3;
constexpr int CategoryWalksPerOpen = 1;
constexpr DWORD FullQueueChunks = 512;
constexpr int64_t ClosedTunerBound = 1 << 20;
constexpr size_t HostBlockBytes = 4096;

// Walks the tuner category once through Wine's device enumerator.
void WalkTunerCategory() {
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, reinterpret_cast<void**>(&devices))))
        return;
    IEnumMoniker* monikers = nullptr;
    if (devices->CreateClassEnumerator(CategoryBdaNetworkTuner, &monikers, 0) == S_OK) {
        for (IMoniker* moniker = nullptr; monikers->Next(1, &moniker, nullptr) == S_OK;)
            moniker->Release();
        monikers->Release();
    }
    devices->Release();
}

// Wine's own share of `count` sessions: per session, in an apartment of its
// own as the driver's are, a filter graph with nothing in it and `walks`
// walks of the tuner category (Wine's device enumerator keeps registry keys
// open after each walk; its graph manager keeps an event per graph).
void RunWineControl(int count, int walks) {
    for (int round = 0; round < count; ++round) {
        const HRESULT init = CoInitialize(nullptr);
        IGraphBuilder* graph = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IGraphBuilder, reinterpret_cast<void**>(&graph))))
            graph->Release();
        for (int walk = 0; walk < walks; ++walk) WalkTunerCategory();
        if (SUCCEEDED(init)) CoUninitialize();
    }
}

// Waits (at most 10 s) for one whole chunk and takes it.
bool ReadOneChunk(IBonDriver2* driver) {
    for (int wait = 0; wait < 10; ++wait) {
        driver->WaitTsStream(1000);
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        if (driver->GetTsStream(&data, &size, &remaining)) return size == ChunkBytes;
    }
    return false;
}

// The census once the threads that are ending have ended (at most 5 s).
ProcessFigures SettledCensus(long threadsAtMost) {
    ProcessFigures figures = ProcessCensus::Take();
    for (int wait = 0; wait < 50 && figures.Threads > threadsAtMost; ++wait) {
        Sleep(100);
        figures = ProcessCensus::Take();
    }
    return figures;
}

// The census of the driver's share: the simulator's record of the calls it
// answered (kept in this process for the tests) is dropped first.
ProcessFigures DriverCensus(SimControl* sim, long threadsAtMost) {
    sim->CallLog()->Clear();
    return SettledCensus(threadsAtMost);
}

// `control` may be null: a scenario without one.
void PrintFigures(const char* scenario, const ProcessFigures& start, const ProcessFigures& end,
                  const ProcessFigures* control) {
    std::printf("[ figures  ] %s\n  start:   %s\n  end:     %s\n  growth:  %s\n", scenario,
                ProcessCensus::Describe(start).c_str(), ProcessCensus::Describe(end).c_str(),
                ProcessCensus::Describe(ProcessCensus::Growth(start, end)).c_str());
    if (control != nullptr)
        std::printf("  control: %s\n", ProcessCensus::Describe(*control).c_str());
    std::fflush(stdout);
}

DWORD WINAPI UnloadModule(void* module) {
    return FreeLibrary(static_cast<HMODULE>(module)) ? 0 : 1;
}

// Loads the library at `path` and unloads it, here or on a new thread.
void LoadAndUnload(const std::wstring& path, bool unloadElsewhere) {
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    if (!unloadElsewhere) {
        EXPECT_TRUE(FreeLibrary(module));
        return;
    }
    HANDLE unloader = CreateThread(nullptr, 0, &UnloadModule, module, 0, nullptr);
    ASSERT_NE(unloader, nullptr);
    DWORD result = 1;
    EXPECT_EQ(WaitForSingleObject(unloader, 30000), DWORD{WAIT_OBJECT_0});
    EXPECT_TRUE(GetExitCodeThread(unloader, &result) && result == 0);
    CloseHandle(unloader);
}

DWORD WINAPI ReleaseDriverObject(void* driver) {
    static_cast<IBonDriver2*>(driver)->Release();
    return 0;
}

}  // namespace

class DriverLifetime : public DriverHarness {
protected:
    void SetUp() override {
        DriverHarness::SetUp();
        Device()->SetBitRate(SessionBitRate);
        WriteDefaultIni();
    }

    // Wine's growth for `count` sessions of RunWineControl, measured now.
    static ProcessFigures Control(int count, int walks) {
        RunWineControl(1, walks);
        const ProcessFigures before = ProcessCensus::Take();
        RunWineControl(count, walks);
        return ProcessCensus::Growth(before, SettledCensus(before.Threads));
    }

    // Load, create, open, tune, read, close, release, unload.
    void RunSession() {
        IBonDriver2* driver = LoadDriver();
        ASSERT_NE(driver, nullptr);
        ASSERT_TRUE(driver->OpenTuner());
        ASSERT_TRUE(driver->SetChannel(0u, 0u));
        ASSERT_TRUE(ReadOneChunk(driver));
        driver->CloseTuner();
        ReleaseDriver();
    }

    void ReopenOnce(IBonDriver2* driver, int round) {
        ASSERT_TRUE(driver->OpenTuner()) << "round " << round;
        ASSERT_TRUE(driver->SetChannel(0u, static_cast<DWORD>(round % 2))) << "round " << round;
        ASSERT_TRUE(ReadOneChunk(driver)) << "round " << round;
        driver->CloseTuner();
    }

    // The growth beyond the control stays within the bounds.
    static void ExpectFlat(const ProcessFigures& start, const ProcessFigures& end,
                           const ProcessFigures& control, long loads, long handleBound,
                           int64_t byteBound) {
        ASSERT_GE(start.Handles, 0) << "the handle list was refused";
        const ProcessFigures growth = ProcessCensus::Growth(start, end);
        EXPECT_LE(HandlesBeyondRuntime(growth, loads) - std::max(control.Handles, 0L), handleBound);
        EXPECT_LE(growth.Threads - std::max(control.Threads, 0L), SessionThreadBound);
        EXPECT_LE(growth.PrivateBytes - std::max<int64_t>(control.PrivateBytes, 0), byteBound);
        EXPECT_LE(growth.HeapBytes - std::max<int64_t>(control.HeapBytes, 0), byteBound);
    }
};

// Hosts load and unload on the same thread, or unload on another one while
// the loading thread lives on.
TEST_F(DriverLifetime, BareLoadsLeaveNoHandleNorTlsSlotNorHeap) {
    IBonDriver2* driver = LoadDriver();  // copies the DLL and warms the loader up
    ASSERT_NE(driver, nullptr);
    ReleaseDriver();
    const std::wstring path = folder_ + L"\\BonDriver_TesselBDA.dll";
    const struct {
        const char* Name;
        bool UnloadElsewhere;
    } modes[] = {{"100 bare loads", false},
                 {"100 bare loads, each unloaded on a thread of its own", true}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.Name);
        const ProcessFigures start = ProcessCensus::Take();
        const long slotsAtStart = ProcessCensus::TlsSlotsInUse();
        for (int round = 0; round < BareLoads && !HasFatalFailure(); ++round)
            LoadAndUnload(path, mode.UnloadElsewhere);
        const ProcessFigures end = SettledCensus(start.Threads);
        const long slotsAtEnd = ProcessCensus::TlsSlotsInUse();
        PrintFigures(mode.Name, start, end, nullptr);
        std::printf("  TLS slots in use: %ld at start, %ld at end\n", slotsAtStart, slotsAtEnd);
        ASSERT_GE(start.Handles, 0) << "the handle list was refused";
        EXPECT_LE(HandlesBeyondRuntime(ProcessCensus::Growth(start, end), BareLoads),
                  BareLoadHandleBound);
        EXPECT_LE(end.Threads - start.Threads, 0);
        EXPECT_EQ(slotsAtEnd, slotsAtStart);
        EXPECT_LE(end.HeapBytes - start.HeapBytes, BareLoadHeapBound);
        // The threads of the second mode leave stacks Wine frees lazily.
        if (!mode.UnloadElsewhere) {
            EXPECT_LE(end.PrivateBytes - start.PrivateBytes, BareLoadPrivateBound);
        }
    }
    // A host that reloads the library all day: every load works (a runtime
    // that kept a TLS slot per load ran out after about a thousand).
    const long slotsAtStart = ProcessCensus::TlsSlotsInUse();
    int failed = 0;
    for (int round = 0; round < ManyLoads; ++round) {
        HMODULE module = LoadLibraryW(path.c_str());
        if (module == nullptr || !FreeLibrary(module)) ++failed;
    }
    std::printf("  %d loads: %d failed, TLS slots in use %ld at start, %ld at end\n", ManyLoads,
                failed, slotsAtStart, ProcessCensus::TlsSlotsInUse());
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(ProcessCensus::TlsSlotsInUse(), slotsAtStart);
}

TEST_F(DriverLifetime, ReleaseOnAnotherThreadThenUnload) {
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->OpenTuner());
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(ReadOneChunk(driver));
    HANDLE releaser = CreateThread(nullptr, 0, &ReleaseDriverObject, driver, 0, nullptr);
    ASSERT_NE(releaser, nullptr);
    driver_ = nullptr;
    EXPECT_EQ(WaitForSingleObject(releaser, 30000), DWORD{WAIT_OBJECT_0});
    CloseHandle(releaser);
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
    EXPECT_EQ(Alive(SimObject::NullTerminal), 0);
    EXPECT_EQ(Alive(SimObject::Pin), 0);
    const std::wstring path = folder_ + L"\\BonDriver_TesselBDA.dll";
    EXPECT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr) << "the library stayed loaded";
    // The process goes on: loaded again, the driver streams on this thread.
    RunSession();
}

TEST_F(DriverLifetime, HostSessionsKeepTheProcessFlat) {
    ExtendBound(LongScenarioSeconds);
    RunSession();  // the first session loads what stays loaded
    const ProcessFigures control = Control(Sessions, CategoryWalksPerSession);
    const ProcessFigures start = DriverCensus(sim_, LONG_MAX);
    const ULONGLONG began = GetTickCount64();
    for (int round = 0; round < Sessions && !HasFatalFailure(); ++round) RunSession();
    const ProcessFigures end = DriverCensus(sim_, start.Threads);
    PrintFigures("100 sessions", start, end, &control);
    std::printf("  %d sessions took %.1f s\n", Sessions, (GetTickCount64() - began) / 1000.0);
    ExpectFlat(start, end, control, Sessions, SessionHandleBound, SessionPrivateBound);
}

TEST_F(DriverLifetime, ReopeningOneObjectKeepsTheProcessFlat) {
    ExtendBound(LongScenarioSeconds);
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    ReopenOnce(driver, 0);
    const ProcessFigures control = Control(Reopens, CategoryWalksPerOpen);
    const ProcessFigures start = DriverCensus(sim_, LONG_MAX);
    const ULONGLONG began = GetTickCount64();
    for (int round = 1; round <= Reopens && !HasFatalFailure(); ++round) ReopenOnce(driver, round);
    const ProcessFigures end = DriverCensus(sim_, start.Threads);
    PrintFigures("1000 reopens on one object", start, end, &control);
    std::printf("  %d reopens took %.1f s\n", Reopens, (GetTickCount64() - began) / 1000.0);
    ExpectFlat(start, end, control, 0, ReopenHandleBound, ReopenPrivateBound);
}

// A host that stops reading fills the queue (94 MiB of chunks) and the
// stream runs on past it, while the host goes on with small allocations of
// its own; once it closes the tuner, the process gives the queue's memory
// back to the system, not just to a heap whose pages the host's blocks keep
// committed.
TEST_F(DriverLifetime, ClosedTunerGivesBackAFullQueue) {
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    ReopenOnce(driver, 0);  // what the first open loads stays loaded
    std::vector<std::unique_ptr<char[]>> hostBlocks;
    auto hostAllocates = [&hostBlocks] {
        hostBlocks.emplace_back(new char[HostBlockBytes]);
        std::memset(hostBlocks.back().get(), 1, HostBlockBytes);
    };
    const ProcessFigures start = ProcessCensus::Take();
    Device()->SetBitRate(0);
    ASSERT_TRUE(driver->OpenTuner());
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { hostAllocates(); return driver->GetReadyCount() >= FullQueueChunks; },
                          60000));
    // On past the bound: the oldest chunks are dropped as new ones come.
    const uint64_t produced = Device()->State().TsBytesDelivered;
    ASSERT_TRUE(WaitUntil(
        [&] {
            hostAllocates();
            return Device()->State().TsBytesDelivered >= produced + 64ull * ChunkBytes;
        },
        60000));
    const ProcessFigures full = ProcessCensus::Take();
    driver->CloseTuner();
    const ProcessFigures closed = ProcessCensus::Take();
    const int64_t hostBytes = static_cast<int64_t>(hostBlocks.size()) * HostBlockBytes;
    std::printf("  private bytes over the closed tuner's: %+.1f MiB full, %+.1f MiB closed "
                "(%.1f MiB of them the host's own blocks)\n",
                (full.PrivateBytes - start.PrivateBytes) / 1048576.0,
                (closed.PrivateBytes - start.PrivateBytes) / 1048576.0, hostBytes / 1048576.0);
    EXPECT_GE(full.PrivateBytes - start.PrivateBytes, int64_t{FullQueueChunks} * ChunkBytes);
    EXPECT_LT(closed.PrivateBytes - start.PrivateBytes - hostBytes, ClosedTunerBound);
}
