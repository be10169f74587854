// Hosts written by careless hands, run under Wine's heap checker (ctest
// runs this program with WINEDEBUG=warn+heap and fails it on any heap
// complaint): two holders of the one driver object that each release it, a
// reception thread still looping while another thread releases, calls on a
// released object, channel names cached across a re-creation, a filter that
// refuses to stop at two closes in a row, and a Release from a wrapper
// library's detach while the process exits, in both detach orders.
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/windows/DriverHarness.h"

namespace {

constexpr DWORD ExitBoundMs = 30000;
constexpr int ReaderRounds = 60;
// The exit code ExitReleaseHost.exe gives when it got as far as ExitProcess.
constexpr DWORD HostReachedExit = 7;

// Every call of a driver whose tuner is closed and that found no device, as
// an ended object must answer them; out-parameters poisoned to prove they
// are written.
void ExpectRefusesEverything(IBonDriver2* driver) {
    EXPECT_FALSE(driver->OpenTuner());
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_FALSE(driver->SetChannel(0u, 0u));
    EXPECT_FALSE(driver->SetChannel(static_cast<BYTE>(0)));
    EXPECT_EQ(driver->GetSignalLevel(), 0.0f);
    EXPECT_EQ(driver->WaitTsStream(0), DWORD{128});
    EXPECT_EQ(driver->WaitTsStream(50), DWORD{128});
    EXPECT_EQ(driver->GetReadyCount(), 0u);
    BYTE* data = reinterpret_cast<BYTE*>(0xdeadbeef);
    DWORD size = 0xdeadbeef, remaining = 0xdeadbeef;
    EXPECT_FALSE(driver->GetTsStream(&data, &size, &remaining));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(remaining, 0u);
    BYTE copy[188];
    size = remaining = 0xdeadbeef;
    EXPECT_FALSE(driver->GetTsStream(copy, &size, &remaining));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(remaining, 0u);
    driver->PurgeTsStream();
    EXPECT_EQ(driver->EnumTuningSpace(0), nullptr);
    EXPECT_EQ(driver->EnumChannelName(0, 0), nullptr);
    EXPECT_EQ(driver->GetCurSpace(), 0xFFFFFFFFu);
    EXPECT_EQ(driver->GetCurChannel(), 0xFFFFFFFFu);
    ASSERT_NE(driver->GetTunerName(), nullptr);
    EXPECT_EQ(driver->GetTunerName()[0], L'\0');
    driver->CloseTuner();
    driver->Release();
}

void WriteText(const std::wstring& path, const char* text) {
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fputs(text, file);
    std::fclose(file);
}

// Runs ExitReleaseHost.exe; its exit code, or -1 when it did not end in time
// (it is then terminated).
DWORD RunExitHost(const std::wstring& arguments) {
    std::wstring command = L"\"" + std::wstring(HF_EXIT_HOST_EXE) + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return static_cast<DWORD>(-2);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, ExitBoundMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string ReadMarker(const std::wstring& path) {
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return std::string();
    char text[16] = {};
    const size_t read = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    return std::string(text, read);
}

using CarelessHost = DriverHarness;

}  // namespace

// Two modules of one host each create "their" driver and get the one object;
// each releases it. The second Release, and every call after it, meets an
// ended object. Channel names the host cached from a channel file stay
// readable across Release and a new CreateBonDriver, which serves them from
// the same kept plan.
TEST_F(CarelessHost, TwoHoldersReleaseAndCachedNamesOutliveTheObject) {
    WriteDefaultIni();
    WriteText(folder_ + L"\\BonDriver_TesselBDA.channels.txt",
              "UFH, Home 13, 473143\nUFH, Home 27, 557143\n");
    IBonDriver2* first = LoadDriver();
    ASSERT_NE(first, nullptr);
    typedef IBonDriver* (*Create)();
    Create create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateBonDriver")));
    IBonDriver2* second = static_cast<IBonDriver2*>(create());
    ASSERT_EQ(first, second) << "one object per process";

    const wchar_t* space = first->EnumTuningSpace(0);
    const wchar_t* name = first->EnumChannelName(0, 1);
    ASSERT_NE(name, nullptr);
    ASSERT_STREQ(name, L"Home 27");
    ASSERT_TRUE(first->OpenTuner());
    ASSERT_TRUE(first->SetChannel(0u, 1u));
    ASSERT_TRUE(WaitUntil([&] { return first->GetReadyCount() > 0; }, 10000));

    first->Release();
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Alive(SimObject::Pin), 0);
    ExpectRefusesEverything(second);  // its Release at the end is the second one
    EXPECT_STREQ(space, L"UFH");
    EXPECT_STREQ(name, L"Home 27");

    // Created afresh, and again: the same file gives the same kept names.
    for (int round = 0; round < 3; ++round) {
        IBonDriver2* again = static_cast<IBonDriver2*>(create());
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->EnumChannelName(0, 1), name) << "round " << round;
        EXPECT_TRUE(again->OpenTuner());
        EXPECT_TRUE(again->SetChannel(0u, 0u));
        again->Release();
        again->Release();
    }
    EXPECT_STREQ(name, L"Home 27");
    driver_ = nullptr;  // released above
}

// The host's reception thread loops WaitTsStream/GetTsStream and stops by
// itself when the wait answers 128; the window thread releases without
// joining it. Every round, the reader is done within 5 s and nothing the
// simulator counts is left; the heap checker sees no chunk freed twice.
TEST_F(CarelessHost, ReaderStillLoopingWhileAnotherThreadReleases) {
    ExtendBound(300);
    WriteDefaultIni();
    Device()->SetBitRate(0);
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    typedef IBonDriver* (*Create)();
    Create create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateBonDriver")));
    int late = 0;
    for (int round = 0; round < ReaderRounds && !HasFatalFailure(); ++round) {
        if (round > 0) driver = static_cast<IBonDriver2*>(create());
        ASSERT_TRUE(driver->OpenTuner()) << "round " << round;
        ASSERT_TRUE(driver->SetChannel(0u, static_cast<DWORD>(round % 3))) << "round " << round;
        std::atomic<bool> done{false};
        std::atomic<int> chunks{0};
        const bool copyForm = round % 2 == 1;
        std::thread reader([&] {
            BYTE copy[192512];
            while (driver->WaitTsStream(round % 4 == 0 ? 0 : 200) != 128) {
                BYTE* data = nullptr;
                DWORD size = 0, remaining = 0;
                const BOOL got = copyForm ? driver->GetTsStream(copy, &size, &remaining)
                                          : driver->GetTsStream(&data, &size, &remaining);
                if (got) ++chunks;
            }
            // A sloppy reader's last round, on the released object, now or a
            // little later.
            Sleep(static_cast<DWORD>(round % 5) * 5);
            BYTE* data = nullptr;
            DWORD size = 0, remaining = 0;
            driver->GetTsStream(&data, &size, &remaining);
            driver->IsTunerOpening();
            done = true;
        });
        WaitUntil([&] { return chunks.load() >= 2; }, 5000);
        driver->Release();
        if (!WaitUntil([&] { return done.load(); }, 5000)) ++late;
        reader.join();
        EXPECT_EQ(Alive(SimObject::TunerFilter), 0) << "round " << round;
    }
    EXPECT_EQ(late, 0) << "rounds whose reader was not done 5 s after Release";
    driver_ = nullptr;
}

// A filter that refuses every Stop leaves a graph that cannot be emptied at
// each close; the second one must not release the first (its last release
// would spin in the graph manager under DriverLock). Once the filter stops
// again, the next open sweeps them both away.
TEST_F(CarelessHost, FilterRefusingStopAtTwoClosesInARow) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    Device()->ArmFault(SimOp::Stop, E_FAIL, SimFaultAlways);
    for (int close = 0; close < 2; ++close) {
        if (close > 0) {
            ASSERT_TRUE(driver->OpenTuner());
        }
        ASSERT_TRUE(driver->SetChannel(0u, 0u));
        ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000));
        driver->CloseTuner();
        EXPECT_FALSE(driver->IsTunerOpening()) << "close " << close;
    }
    EXPECT_GE(Device()->FaultsFired(SimOp::Stop), 2u);
    EXPECT_GT(Alive(SimObject::TunerFilter), 0) << "the refusing filters are kept aside";
    Device()->DisarmFaults();
    ASSERT_TRUE(driver->OpenTuner());
    EXPECT_EQ(Alive(SimObject::TunerFilter), 1) << "both stale graphs were swept";
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000));
    ReleaseDriver();
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Alive(SimObject::Pin), 0);
}

// A wrapper library releases the driver from its DLL_PROCESS_DETACH while
// the process exits: after the driver's own detach (the usual order) and
// before it, with the tuner open and closed. The process ends in time, with
// Release returned, and the heap checker has nothing to say.
TEST_F(CarelessHost, ReleaseFromAWrapperWhileTheProcessExits) {
    WriteDefaultIni();
    const std::wstring dll = folder_ + L"\\BonDriver_TesselBDA.dll";
    ASSERT_TRUE(CopyFileW(HF_DRIVER_DLL, dll.c_str(), FALSE));
    for (const wchar_t* order : {L"driver-first", L"releaser-first"}) {
        for (const wchar_t* open : {L"0", L"1"}) {
            const std::wstring marker = folder_ + L"\\released.txt";
            DeleteFileW(marker.c_str());
            const std::wstring arguments = L"\"" + dll + L"\" \"" + HF_EXIT_RELEASER_DLL + L"\" \"" +
                                           marker + L"\" " + order + L" " + open;
            const DWORD code = RunExitHost(arguments);
            SCOPED_TRACE(std::string(order, order + wcslen(order)) + (open[0] == L'1' ? ", open" : ", closed"));
            EXPECT_EQ(code, HostReachedExit) << "-1: the process did not end within 30 s";
            EXPECT_EQ(ReadMarker(marker), "released");
        }
    }
}
