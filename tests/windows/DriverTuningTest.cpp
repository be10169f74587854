// Tuning requests as the device receives them (from the simulator's call
// log), device failures, and the signal level.
#include "tests/windows/DriverHarness.h"

using DriverTuning = DriverHarness;

namespace {
struct TuneCase {
    const char* network;
    uint32_t space, channel;
    uint32_t systemType, tsid, frequency, bandwidth;
};
}  // namespace

TEST_F(DriverTuning, RequestsAreByteExactForEveryKindOfRow) {
    const TuneCase cases[] = {
        {"ISDBT", 0, 0, 0, 0xFFFFFFFF, 473143, 6},     // 13ch
        {"ISDBT", 1, 7, 0, 0xFFFFFFFF, 195143, 6},     // C08ch
        {"ISDBS", 0, 0, 3, 0x4010, 1049480, 9},        // BS1/TS0
        {"ISDBS", 1, 11, 4, 0x7180, 2053000, 9},       // ND24
    };
    for (const TuneCase& c : cases) {
        SCOPED_TRACE(std::string(c.network) + " " + std::to_string(c.space) + "/" +
                     std::to_string(c.channel));
        IBonDriver2* driver = OpenDefault(c.network);
        ASSERT_NE(driver, nullptr);
        sim_->CallLog()->Clear();
        EXPECT_TRUE(driver->SetChannel(c.space, c.channel));
        std::vector<SimCall> frequency = Calls(SimOp::SetFrequency);
        std::vector<SimCall> request = Calls(SimOp::SetTuneRequest);
        ASSERT_EQ(frequency.size(), 1u);
        ASSERT_EQ(request.size(), 1u);
        EXPECT_EQ(frequency[0].Bytes, FrequencyBytes(c.frequency, c.bandwidth));
        EXPECT_EQ(request[0].Bytes, RequestBytes(c.systemType, c.tsid, c.frequency, c.bandwidth));
        EXPECT_LT(frequency[0].Sequence, request[0].Sequence);
        EXPECT_EQ(driver->GetCurSpace(), c.space);
        EXPECT_EQ(driver->GetCurChannel(), c.channel);
        ReleaseDriver();
    }
}

TEST_F(DriverTuning, FailingSetFrequencyStopsTheTune) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    sim_->CallLog()->Clear();
    Device()->ArmFault(SimOp::SetFrequency, E_FAIL, 1);
    EXPECT_FALSE(driver->SetChannel(0u, 5u));
    EXPECT_EQ(Calls(SimOp::SetTuneRequest).size(), 0u);
    EXPECT_EQ(driver->GetCurSpace(), 0u);  // the request is remembered anyway
    EXPECT_EQ(driver->GetCurChannel(), 5u);
    Device()->ArmFault(SimOp::SetTuneRequest, E_FAIL, 1);
    EXPECT_FALSE(driver->SetChannel(0u, 6u));
}

TEST_F(DriverTuning, SuccessCodesOtherThanSOkCountAsSuccess) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    Device()->ArmFault(SimOp::SetFrequency, S_FALSE, 1);
    EXPECT_TRUE(driver->SetChannel(0u, 1u));
    Device()->ArmFault(SimOp::SetTuneRequest, S_FALSE, 1);
    EXPECT_TRUE(driver->SetChannel(0u, 2u));
}

TEST_F(DriverTuning, OneArgumentFormUsesTheLastSpace) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    sim_->CallLog()->Clear();
    EXPECT_FALSE(driver->SetChannel(static_cast<BYTE>(5)));  // no space chosen yet
    EXPECT_EQ(Calls(SimOp::SetFrequency).size(), 0u);
    EXPECT_EQ(driver->GetCurChannel(), 5u);
    EXPECT_EQ(driver->GetCurSpace(), 0xFFFFFFFFu);
    ASSERT_TRUE(driver->SetChannel(0u, 3u));
    sim_->CallLog()->Clear();
    EXPECT_TRUE(driver->SetChannel(static_cast<BYTE>(5)));  // 18ch
    std::vector<SimCall> frequency = Calls(SimOp::SetFrequency);
    ASSERT_EQ(frequency.size(), 1u);
    EXPECT_EQ(frequency[0].Bytes, FrequencyBytes(503143, 6));
    EXPECT_EQ(driver->GetCurSpace(), 0u);
    EXPECT_EQ(driver->GetCurChannel(), 5u);
    EXPECT_FALSE(driver->SetChannel(static_cast<BYTE>(50)));  // past "62ch"
}

TEST_F(DriverTuning, ClosedTunerTunesNothingButRemembers) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(driver->SetChannel(0u, 10u));
    EXPECT_EQ(driver->GetCurSpace(), 0u);
    EXPECT_EQ(driver->GetCurChannel(), 10u);
    EXPECT_EQ(sim_->CallLog()->Count(SimOp::SetFrequency), 0u);
    EXPECT_EQ(driver->GetSignalLevel(), 0.0f);
}

TEST_F(DriverTuning, SignalLevelThroughTheDevice) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    Device()->SetSignal(L"13ch", 25, 37);
    EXPECT_EQ(driver->GetSignalLevel(), 25.37f);
    Device()->SetSignal(L"13ch", -656, 50);
    EXPECT_EQ(driver->GetSignalLevel(), 98.5f);
    Device()->SetSignal(L"13ch", -65600, 0);
    EXPECT_EQ(driver->GetSignalLevel(), -1.0f);
    Device()->ArmFault(SimOp::GetSignalStatistics, E_FAIL, 1);
    EXPECT_EQ(driver->GetSignalLevel(), 0.0f);
}
