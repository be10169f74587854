// A device call on one thread (as the remote-key thread makes them) while a
// host thread builds and tears down the graph over and over: the call must
// never reach a network provider filter that the tear-down has released. The
// graph object is built in this program; the simulated tuner is registered
// by the driver harness.
#include <atomic>
#include <cstdio>
#include <thread>

#include "graph/MyFilterGraph.h"
#include "tests/windows/DriverHarness.h"

namespace {

// A use of a released filter shows as an access fault on some thread: end
// the program at once with a message instead of waiting for a debugger.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* fault) {
    std::fprintf(stderr, "\nFATAL: exception 0x%08lx during the provider race\n",
                 static_cast<unsigned long>(fault->ExceptionRecord->ExceptionCode));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_CONTINUE_SEARCH;
}

using NetworkProviderRace = DriverHarness;

TEST_F(NetworkProviderRace, DeviceReadsBesideRepeatedAssemblyAndTearDownNeverCrash) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(&ReportFault);
    {
        MyFilterGraph graph;
        graph.SetTunerNames(DefaultName, tuners_.at(0).devicePath.c_str());
        std::atomic<bool> stop{false};
        std::atomic<uint64_t> reached{0}, refused{0};
        std::thread reader([&] {
            // No COM initialisation, like the key thread.
            while (!stop) {
                uint32_t code = 0xFFFF;
                uint8_t key = 0xFF;
                HRESULT hr = graph.ReadRemoteControlKey(3, &code, &key);
                (hr == E_FAIL ? refused : reached)++;
            }
        });
        const int cycles = 150;
        int built = 0;
        for (int i = 0; i < cycles; ++i) {
            if (graph.AutoCreateMyDigitalTvFilterGraph() == S_OK) ++built;
            EXPECT_EQ(graph.TearMyFilterGraph(), S_OK) << "cycle " << i;
        }
        stop = true;
        reader.join();
        EXPECT_EQ(built, cycles);
        // The reader ran through both states, so it raced every tear-down.
        EXPECT_GT(reached.load(), 0u);
        EXPECT_GT(refused.load(), 0u);
        EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
        EXPECT_EQ(graph.ReadRemoteControlKey(3, nullptr, nullptr), E_FAIL);
    }
    SetUnhandledExceptionFilter(previous);
    CoUninitialize();
}

}  // namespace
