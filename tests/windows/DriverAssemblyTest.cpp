// Graph assembly against the simulated components: receiver components,
// tuner pin layouts, and every failure leaving the tuner closed, torn down
// and openable again.
#include "tests/windows/DriverHarness.h"

class DriverAssembly : public DriverHarness {
protected:
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
    const SimOp faults[] = {SimOp::GetPinTypes, SimOp::CreatePin, SimOp::ConnectTunerInput,
                            SimOp::ConnectTunerOutput, SimOp::Pause, SimOp::Run,
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
