// Remote-control keys end to end: the driver DLL loaded like a host loads it,
// the simulated tuner's scripted key reports, and top-level windows of this
// program as the host's windows. Each window records the WM_COMMANDs it gets.
#include <algorithm>
#include <atomic>
#include <vector>

#include "tests/windows/DriverHarness.h"
#include "tests/windows/RemoteKeyTestWindows.h"
#include "tests/windows/ScopedWatchdog.h"

namespace {

const DWORD FailAfterMs = 15000;  // ends a wait that is failing anyway

SimRemoteKey Key(uint8_t key, uint16_t customCode = 0x2010, HRESULT result = S_OK) {
    SimRemoteKey report;
    report.Result = result;
    report.CustomCode = customCode;
    report.Key = key;
    return report;
}

class RemoteKeyForwarding : public DriverHarness {
protected:
    void TearDown() override {
        DriverHarness::TearDown();
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    }
    // A window of this thread; made before the driver, it is a host window.
    HWND Window(bool visible = true) {
        HWND window = CreateRecordingWindow(&record_, visible);
        EXPECT_NE(window, nullptr) << NoWindowHint();
        if (window != nullptr) windows_.push_back(window);
        return window;
    }
    // Host window in the foreground and an open tuner.
    HWND OpenWithHostInFront() {
        HWND host = Window();
        if (host == nullptr) return nullptr;
        if (OpenDefault() == nullptr) return nullptr;
        EXPECT_TRUE(MakeForeground(host)) << "the test window could not take the foreground";
        return host;
    }
    size_t Reads() const { return sim_->CallLog()->Count(SimOp::ReadRemoteControlKey); }
    // Pumps until the window got a command equal to `last` as its latest.
    bool PumpUntilLastCommandIs(WPARAM last) {
        return PumpUntil(
            [&] {
                std::vector<WPARAM> got = record_.Commands();
                return !got.empty() && got.back() == last;
            },
            FailAfterMs);
    }

    CommandRecord record_;
    std::vector<HWND> windows_;
};

TEST_F(RemoteKeyForwarding, EveryKeyOfTheTableSendsItsCommandToTheForegroundHostWindow) {
    ASSERT_NE(OpenWithHostInFront(), nullptr);
    ASSERT_FALSE(HasFailure());
    Device()->ScriptRemoteKeys({Key(179), Key(240), Key(183), Key(238), Key(187), Key(236),
                                Key(191), Key(242), Key(213), Key(231)});
    ASSERT_TRUE(PumpUntil([&] { return record_.Count() >= 10; }, FailAfterMs));
    EXPECT_EQ(record_.Commands(),
              (std::vector<WPARAM>{140, 140, 139, 139, 226, 226, 225, 225, 141, 150}));
    for (const SimCall& call : Calls(SimOp::ReadRemoteControlKey)) {
        ASSERT_FALSE(call.Values.empty());
        EXPECT_EQ(call.Values[0], 3u);
    }
}

TEST_F(RemoteKeyForwarding, KeyOutsideTheTableRepeatsTheLastCommandAndNothingBeforeTheFirst) {
    ASSERT_NE(OpenWithHostInFront(), nullptr);
    ASSERT_FALSE(HasFailure());
    Device()->ScriptRemoteKeys({Key(0x00), Key(0x55), Key(213), Key(0x00), Key(0x00), Key(231)});
    ASSERT_TRUE(PumpUntilLastCommandIs(150));
    EXPECT_EQ(record_.Commands(), (std::vector<WPARAM>{141, 141, 141, 150}));
}

TEST_F(RemoteKeyForwarding, OtherCustomCodesAndUnsuccessfulReadsChangeNothing) {
    ASSERT_NE(OpenWithHostInFront(), nullptr);
    ASSERT_FALSE(HasFailure());
    Device()->ScriptRemoteKeys({Key(179, 0x2011), Key(179, 0x2010, S_FALSE),
                                Key(179, 0x2010, E_FAIL), Key(0x00), Key(213),
                                Key(179, 0x1020), Key(0x00), Key(231)});
    ASSERT_TRUE(PumpUntilLastCommandIs(150));
    // No 140 at all: neither the foreign remote, nor the S_FALSE or failed
    // read, nor the key after them set a command.
    EXPECT_EQ(record_.Commands(), (std::vector<WPARAM>{141, 141, 150}));
}

TEST_F(RemoteKeyForwarding, WindowNotCollectedInTheForegroundCausesNoReadAtAll) {
    HWND host = Window();
    ASSERT_NE(host, nullptr);
    ASSERT_NE(OpenDefault(), nullptr);
    // Made after the graph object collected its windows: not a host window,
    // just as another application's window is not.
    HWND stranger = Window();
    ASSERT_NE(stranger, nullptr);
    ASSERT_TRUE(MakeForeground(stranger));
    Device()->ScriptRemoteKeys({Key(179), Key(183)});
    PumpFor(1200);  // several polls
    EXPECT_EQ(GetForegroundWindow(), stranger);
    EXPECT_EQ(Reads(), 0u);
    EXPECT_EQ(Device()->RemoteKeysLeft(), 2u);
    EXPECT_EQ(record_.Count(), 0u);
    // The same thread reads as soon as the host comes to the front.
    ASSERT_TRUE(MakeForeground(host));
    ASSERT_TRUE(PumpUntilLastCommandIs(139));
    EXPECT_EQ(record_.Commands(), (std::vector<WPARAM>{140, 139}));
}

TEST_F(RemoteKeyForwarding, OnlyTheFirstEightWindowsAreTheHosts) {
    for (int i = 0; i < 9; ++i) Window(false);  // unowned: hidden ones count too
    ASSERT_FALSE(HasFailure());
    std::vector<HWND> order = OwnQualifyingWindows();
    ASSERT_GE(order.size(), 9u);
    ASSERT_NE(OpenDefault(), nullptr);
    ShowWindow(order[8], SW_SHOWNORMAL);
    ShowWindow(order[7], SW_SHOWNORMAL);
    ASSERT_TRUE(MakeForeground(order[8]));
    Device()->ScriptRemoteKeys({Key(191)});
    PumpFor(1200);
    EXPECT_EQ(Reads(), 0u) << "the ninth window was taken as a host window";
    ASSERT_TRUE(MakeForeground(order[7]));
    ASSERT_TRUE(PumpUntilLastCommandIs(225));
    EXPECT_EQ(record_.Commands(), (std::vector<WPARAM>{225}));
}

TEST_F(RemoteKeyForwarding, ReleaseStopsTheThreadNoReadAfterItReturns) {
    ASSERT_NE(OpenWithHostInFront(), nullptr);
    ASSERT_FALSE(HasFailure());
    Device()->ScriptRemoteKeys(std::vector<SimRemoteKey>(400, Key(179)));
    ASSERT_TRUE(PumpUntil([&] { return record_.Count() >= 2; }, FailAfterMs));
    const ULONGLONG start = GetTickCount64();
    driver_->Release();
    driver_ = nullptr;
    RecordProperty("ReleaseMilliseconds", static_cast<int>(GetTickCount64() - start));
    const size_t readsAtReturn = Reads();
    const size_t keysLeft = Device()->RemoteKeysLeft();
    const size_t commands = record_.Count();
    PumpFor(800);  // more than three polls
    EXPECT_EQ(Reads(), readsAtReturn);
    EXPECT_EQ(Device()->RemoteKeysLeft(), keysLeft);
    EXPECT_EQ(record_.Count(), commands);
}

TEST_F(RemoteKeyForwarding, ReleaseOnTheWindowThreadWhileAKeyIsBeingSentReturns) {
    ASSERT_NE(OpenWithHostInFront(), nullptr);
    ASSERT_FALSE(HasFailure());
    Device()->ScriptRemoteKeys(std::vector<SimRemoteKey>(400, Key(183)));
    ASSERT_TRUE(PumpUntil([&] { return record_.Count() >= 2; }, FailAfterMs));
    // Stop pumping. The next read is followed at once by a SendMessageW to
    // this thread's window, which blocks until this thread handles it.
    const size_t readsBefore = Reads();
    ASSERT_TRUE(WaitUntil([&] { return Reads() > readsBefore; }, FailAfterMs));
    Sleep(50);
    const size_t commandsBefore = record_.Count();
    {
        ScopedWatchdog watchdog("Release on the window's own thread", 30000);
        driver_->Release();
        driver_ = nullptr;
    }
    // The pending command was handled inside Release.
    EXPECT_GT(record_.Count(), commandsBefore);
    const std::vector<WPARAM> got = record_.Commands();
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](WPARAM c) { return c == 139; }));
}

TEST_F(RemoteKeyForwarding, OpenCloseCyclesWhileKeysArePolledFromAnotherThread) {
    WindowThread host(&record_);  // a host window that keeps pumping by itself
    ASSERT_NE(host.Window(), nullptr) << NoWindowHint();
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(MakeForeground(host.Window()));
    Device()->ScriptRemoteKeys(std::vector<SimRemoteKey>(2000, Key(187)));
    ScopedWatchdog watchdog("the open/close cycles", 120000);
    const int cycles = 25;
    for (int i = 0; i < cycles; ++i) {
        ASSERT_TRUE(driver->OpenTuner()) << "cycle " << i;
        Sleep(i % 5 * 40);  // vary where in the poll the tear-down falls
        driver->CloseTuner();
    }
    EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
    ASSERT_TRUE(driver->OpenTuner());
    const size_t before = record_.Count();
    ASSERT_TRUE(WaitUntil([&] { return record_.Count() > before; }, FailAfterMs))
        << "the key thread stopped forwarding during the cycles";
    ReleaseDriver();
}

}  // namespace

namespace {

// The host's foreground window lives on a second thread whose WM_COMMAND
// handler calls back into the driver, as hosts do. Release on the test's
// thread must neither deadlock with that thread (it waits for the key thread,
// which waits in SendMessageW for the handler, which calls the driver) nor let
// the handler reach the half-released object: its calls are refused.
TEST_F(RemoteKeyForwarding, ReleaseWhileTheHostWindowThreadCallsTheDriver) {
    HANDLE inHandler = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> refusedCalls{-1};
    std::atomic<bool> handled{false};
    record_.SetHandler([&](WPARAM) {
        if (handled.exchange(true)) return;
        SetEvent(inHandler);  // the key thread now waits in SendMessageW for us
        WaitForSingleObject(go, INFINITE);
        Sleep(100);  // Release is under way on the test's thread
        int refused = 0;
        refused += driver_->GetReadyCount() == 0;
        refused += driver_->IsTunerOpening() == FALSE;
        refused += driver_->SetChannel(0u, 1u) == FALSE;
        refused += driver_->EnumTuningSpace(0) == nullptr;
        refusedCalls = refused;
    });
    {
        WindowThread host(&record_);
        ASSERT_NE(host.Window(), nullptr) << NoWindowHint();
        ASSERT_NE(OpenDefault(), nullptr);
        ASSERT_TRUE(driver_->SetChannel(0u, 0u));
        ASSERT_TRUE(MakeForeground(host.Window()));
        Device()->ScriptRemoteKeys(std::vector<SimRemoteKey>(40, Key(179)));
        ASSERT_EQ(WaitForSingleObject(inHandler, FailAfterMs), WAIT_OBJECT_0);
        SetEvent(go);
        {
            ScopedWatchdog watchdog("Release while the host window's thread calls the driver", 30000);
            driver_->Release();
            driver_ = nullptr;
        }
    }
    EXPECT_EQ(refusedCalls.load(), 4) << "a call reached the object being released";
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    CloseHandle(inHandler);
    CloseHandle(go);
}

}  // namespace
