// Lifecycle of the driver object as a host sees it: create, open, close,
// release, COM initialisation, and the one-instance and already-open mends.
#include <objbase.h>

#include <atomic>
#include <thread>

#include "tests/windows/DriverHarness.h"

using DriverLifecycle = DriverHarness;

TEST_F(DriverLifecycle, OpenCloseReopenManyTimesLeavesNothingBehind) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    for (int i = 0; i < 10; ++i) {
        driver->CloseTuner();
        EXPECT_FALSE(driver->IsTunerOpening());
        EXPECT_EQ(Alive(SimObject::TunerFilter), 0) << "round " << i;
        EXPECT_EQ(Alive(SimObject::NetworkProvider), 0) << "round " << i;
        EXPECT_EQ(Alive(SimObject::NullTerminal), 0) << "round " << i;
        ASSERT_TRUE(driver->OpenTuner()) << "round " << i;
        EXPECT_TRUE(driver->IsTunerOpening());
        EXPECT_EQ(Alive(SimObject::TunerFilter), 1);
    }
    driver->CloseTuner();
    driver->CloseTuner();  // a second close does nothing
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_EQ(driver->WaitTsStream(10), DWORD{WAIT_ABANDONED});
    EXPECT_EQ(driver->GetReadyCount(), 0u);
}

TEST_F(DriverLifecycle, IsTunerOpeningFollowsEveryState) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(driver->IsTunerOpening());
    // Running a stopped graph pauses every filter first, and a refused pause
    // fails IMediaControl::Run (Wine's graph manager only logs a filter's
    // own Run failure, so that fault would not reach the driver).
    Device()->ArmFault(SimOp::Pause, E_FAIL, 1);
    EXPECT_FALSE(driver->OpenTuner());
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_TRUE(driver->OpenTuner());
    EXPECT_TRUE(driver->IsTunerOpening());
    driver->CloseTuner();
    EXPECT_FALSE(driver->IsTunerOpening());
}

TEST_F(DriverLifecycle, FailedStopStillLetsTheNextOpenRunTheGraph) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000));
    Device()->ArmFault(SimOp::Stop, E_FAIL, 1);
    driver->CloseTuner();
    EXPECT_EQ(Device()->FaultsFired(SimOp::Stop), 1u);
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
    EXPECT_EQ(Alive(SimObject::NullTerminal), 0);
    // The new graph must really be run, not skipped as "already running".
    const size_t runs = Calls(SimOp::Run).size();
    ASSERT_TRUE(driver->OpenTuner());
    EXPECT_EQ(Calls(SimOp::Run).size(), runs + 1);
    ASSERT_TRUE(driver->SetChannel(0u, 1u));
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000));
}

TEST_F(DriverLifecycle, OpenOnAnOpenTunerKeepsTheGraph) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    const int64_t tunersBuilt = sim_->Counters()->Creations(SimObject::TunerFilter);
    EXPECT_TRUE(driver->OpenTuner());
    EXPECT_EQ(sim_->Counters()->Creations(SimObject::TunerFilter), tunersBuilt);
    EXPECT_EQ(Calls(SimOp::SetTunerMode).size(), 1u);
    EXPECT_TRUE(driver->IsTunerOpening());
}

TEST_F(DriverLifecycle, SecondCreateReturnsTheExistingObject) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    typedef IBonDriver* (*Create)();
    Create create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateBonDriver")));
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(static_cast<IBonDriver2*>(create()), driver);
    EXPECT_TRUE(driver->IsTunerOpening());  // the graph under it was not replaced
    EXPECT_EQ(Alive(SimObject::TunerFilter), 1);
}

TEST_F(DriverLifecycle, OpenSendsTheSetUpOperationsInOrder) {
    ASSERT_NE(OpenDefault(), nullptr);
    std::vector<SimCall> mode = Calls(SimOp::SetTunerMode);
    std::vector<SimCall> flag = Calls(SimOp::SetTransportStreanEncryptionFlag);
    ASSERT_EQ(mode.size(), 1u);
    ASSERT_EQ(flag.size(), 1u);
    EXPECT_EQ(mode[0].Values, std::vector<uint32_t>{3});
    EXPECT_EQ(flag[0].Values, std::vector<uint32_t>{0});
    EXPECT_LT(mode[0].Sequence, flag[0].Sequence);
}

TEST_F(DriverLifecycle, ReleaseWhileStreamingAtFullRateStopsEverything) {
    Device()->SetBitRate(0);
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 4; }, 5000));
    driver->Release();
    driver_ = nullptr;
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
    const uint64_t delivered = Device()->State().TsBytesDelivered;
    Sleep(200);
    EXPECT_EQ(Device()->State().TsBytesDelivered, delivered);  // nothing streams any more
}

TEST_F(DriverLifecycle, TunerNameComesFromTheIniWithOrWithoutADevice) {
    WriteIni("ISDBT", "No Such Tuner", "0");
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_STREQ(driver->GetTunerName(), L"No Such Tuner");
    EXPECT_FALSE(driver->OpenTuner());
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_EQ(driver->WaitTsStream(10), DWORD{WAIT_ABANDONED});
    ReleaseDriver();
    WriteIni("ISDBT", "", "0");
    driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_STREQ(driver->GetTunerName(), L"");
}

// The driver initialises COM on the thread that creates it and must undo only
// that: a host thread already in the multithreaded apartment keeps its own
// initialisation, and a Release on another thread leaves that thread's COM
// as the host made it. Whether a thread is still initialised shows in what
// CoInitializeEx answers there (S_FALSE: it was).
TEST_F(DriverLifecycle, ComInitialisationStaysTheHosts) {
    WriteDefaultIni();
    std::atomic<HRESULT> afterRelease{E_FAIL};
    std::thread mtaHost([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
        IBonDriver2* driver = LoadDriver();
        if (driver != nullptr && driver->OpenTuner()) driver->CloseTuner();
        ReleaseDriver();
        afterRelease = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    mtaHost.join();
    EXPECT_EQ(afterRelease.load(), S_FALSE) << "Release undid the host thread's own COM";

    IBonDriver2* driver = LoadDriver();  // created on this thread
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->OpenTuner());
    std::thread otherHost([&] {
        if (FAILED(CoInitialize(nullptr))) return;
        driver_->Release();
        afterRelease = CoInitialize(nullptr);
        CoUninitialize();
        CoUninitialize();
    });
    otherHost.join();
    driver_ = nullptr;
    EXPECT_EQ(afterRelease.load(), S_FALSE) << "Release uninitialised another thread's COM";
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
}
