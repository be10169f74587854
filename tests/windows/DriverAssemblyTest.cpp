// Graph assembly against the simulated components: receiver components,
// tuner pin layouts, and every failure leaving the tuner closed, torn down
// and openable again.
#include "tests/windows/DriverHarness.h"

class DriverAssembly : public DriverHarness {
protected:
    // Takes one of the maker's classes out of the registry, so that
    // CoCreateInstance fails for it; RestoreClasses puts every class back.
    static void UnregisterClass(const GUID& clsid) {
        const std::wstring key = L"CLSID\\" + SimRegistry::GuidText(clsid);
        ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()), ERROR_SUCCESS);
    }
    static void RestoreClasses() { ASSERT_TRUE(SUCCEEDED(SimRegistry::RegisterServer(HF_SIM_DLL))); }

    // After a failed open nothing of the graph may be alive, and the next
    // open (with the fault gone) must work.
    void ExpectCleanFailureThenRecovery(IBonDriver2* driver) {
        EXPECT_FALSE(driver->OpenTuner());
        EXPECT_FALSE(driver->IsTunerOpening());
        EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
        EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
        EXPECT_EQ(Alive(SimObject::NullTerminal), 0);
        Device()->DisarmFaults();
        Device()->SetPinTypeCount(2);
        EXPECT_TRUE(driver->OpenTuner());
        EXPECT_TRUE(driver->IsTunerOpening());
    }
};

TEST_F(DriverAssembly, SkippedReceiversAreNeverLoaded) {
    SetReceivers(L"skipped-only");
    ASSERT_NE(OpenDefault(), nullptr);
    EXPECT_EQ(sim_->Counters()->Creations(SimObject::MpeFilter), 0);
    EXPECT_EQ(sim_->Counters()->Creations(SimObject::SlipDeFramer), 0);
}

TEST_F(DriverAssembly, ReceiverThatDoesNotConnectIsRemovedAgain) {
    SetReceivers(L"never-connects");
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(sim_->Counters()->Creations(SimObject::RefusingReceiver), 1);
    EXPECT_EQ(Alive(SimObject::RefusingReceiver), 0);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 5000));
}

TEST_F(DriverAssembly, SeveralReceiversAreTriedInOrder) {
    SetReceivers(L"several");
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(Alive(SimObject::RefusingReceiver), 0);
    EXPECT_EQ(Alive(SimObject::PassThroughReceiver), 1);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 5000));
    driver->CloseTuner();
    EXPECT_EQ(Alive(SimObject::PassThroughReceiver), 0);
}

TEST_F(DriverAssembly, TunerWithZeroOneOrTwoPinsOpens) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    for (uint32_t pins = 0; pins <= 2; ++pins) {
        Device()->SetInitialPinCount(pins);
        sim_->CallLog()->Clear();
        EXPECT_TRUE(driver->OpenTuner()) << pins << " pins";
        EXPECT_EQ(sim_->CallLog()->Count(SimOp::CreatePin), 2u - pins) << pins << " pins";
        driver->CloseTuner();
    }
}

TEST_F(DriverAssembly, PinTypeCountOtherThanTwoIsRefused) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    Device()->SetPinTypeCount(3);
    ExpectCleanFailureThenRecovery(driver);
}

TEST_F(DriverAssembly, EveryFilterSideFaultLeavesTheTunerClosedAndReopenable) {
    // Pause stands for the failing Run: IMediaControl::Run pauses a stopped
    // graph first and fails with the refused pause (see the two Run tests below).
    const SimOp faults[] = {SimOp::GetPinTypes, SimOp::CreatePin, SimOp::ConnectTunerInput,
                            SimOp::ConnectTunerOutput, SimOp::Pause,
                            SimOp::SetTunerMode, SimOp::SetTransportStreanEncryptionFlag};
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    for (SimOp op : faults) {
        SCOPED_TRACE(SimOpName(op));
        Device()->ArmFault(op, E_FAIL, SimFaultAlways);
        ExpectCleanFailureThenRecovery(driver);
        driver->CloseTuner();
    }
}

// Whether a filter's own Run failure reaches IMediaControl::Run is the graph
// manager's affair (Wine's only logs it). Either way the driver must not be
// left half open: closed and torn down, or open and closable like any other.
TEST_F(DriverAssembly, RunFaultNeverLeavesAHalfOpenTuner) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    Device()->ArmFault(SimOp::Run, E_FAIL, SimFaultAlways);
    const BOOL opened = driver->OpenTuner();
    EXPECT_EQ(Device()->FaultsFired(SimOp::Run), 1u);
    EXPECT_EQ(driver->IsTunerOpening(), opened);
    EXPECT_EQ(Alive(SimObject::TunerFilter), opened ? 1 : 0);
    driver->CloseTuner();
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
    EXPECT_EQ(Alive(SimObject::NullTerminal), 0);
    Device()->DisarmFaults();
    ASSERT_TRUE(driver->OpenTuner());
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000));
}

// A Pause fault makes Run itself fail; this is the driver's failing Run.
TEST_F(DriverAssembly, FailingRunLeavesNothingAliveAndTheTunerReopens) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    Device()->ArmFault(SimOp::Pause, E_ACCESSDENIED, SimFaultAlways);
    ExpectCleanFailureThenRecovery(driver);
    EXPECT_EQ(Alive(SimObject::TunerFilter), 1);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000));
}

TEST_F(DriverAssembly, EveryLoaderFailureLeavesTheTunerClosedAndReopenable) {
    struct Loader {
        const char* name;
        GUID clsid;
    };
    // The network provider fails after the tuner filter stands; the null
    // terminal after the tuner, the provider and the writer are connected.
    const Loader loaders[] = {{"network provider", CLSID_SimNetworkProvider},
                              {"null terminal", CLSID_SimNullTerminal}};
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    for (const Loader& loader : loaders) {
        SCOPED_TRACE(loader.name);
        UnregisterClass(loader.clsid);
        EXPECT_FALSE(driver->OpenTuner());
        EXPECT_FALSE(driver->IsTunerOpening());
        EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
        EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
        EXPECT_EQ(Alive(SimObject::NullTerminal), 0);
        EXPECT_EQ(Alive(SimObject::Pin), 0);
        RestoreClasses();
        EXPECT_TRUE(driver->OpenTuner());
        EXPECT_TRUE(driver->IsTunerOpening());
        driver->CloseTuner();
    }
    // The tuner's own device filter: its registration vanished after the
    // driver selected it.
    RegisterTuners(0, DefaultName);
    sim_->CallLog()->Clear();
    EXPECT_FALSE(driver->OpenTuner());
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Calls(SimOp::SetTunerMode).size(), 0u);
}

// A tear-down whose sweep cannot empty the graph (a filter refuses to leave)
// still closes the tuner: it reports closed, and the next open builds a new
// graph that streams. The graph left behind is emptied later, so nothing
// stays alive once the filter lets go.
TEST_F(DriverAssembly, ATearDownThatCannotEmptyTheGraphStillClosesTheTuner) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    SimDevice* terminalFaults = sim_->DefaultDevice();
    terminalFaults->ArmFault(SimOp::LeaveGraph, E_ACCESSDENIED, SimFaultAlways);
    driver->CloseTuner();
    EXPECT_GE(terminalFaults->FaultsFired(SimOp::LeaveGraph), 1u);
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_EQ(driver->WaitTsStream(0), DWORD{WAIT_ABANDONED});
    ASSERT_TRUE(driver->OpenTuner());
    EXPECT_TRUE(driver->IsTunerOpening());
    EXPECT_EQ(Alive(SimObject::TunerFilter), 1);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000));
    terminalFaults->DisarmFaults();
    driver->CloseTuner();
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_EQ(Alive(SimObject::NullTerminal), 0);
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    EXPECT_EQ(Alive(SimObject::NetworkProvider), 0);
}
