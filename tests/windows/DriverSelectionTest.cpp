// Tuner selection through the INI beside the DLL.
#include "tests/windows/DriverHarness.h"

using DriverSelection = DriverHarness;

TEST_F(DriverSelection, MissingIniSelectsNothing) {
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(driver->OpenTuner());
    EXPECT_EQ(driver->EnumTuningSpace(0), nullptr);
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
}

TEST_F(DriverSelection, MissingKeysFallBackToDefaults) {
    WriteIni("", "", "");
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_STREQ(driver->GetTunerName(), L"");
    EXPECT_FALSE(driver->OpenTuner());
    EXPECT_EQ(driver->EnumTuningSpace(0), nullptr);
}

TEST_F(DriverSelection, DeviceIdChoosesAmongTunersOfTheSameName) {
    RegisterTuners(2, DefaultName);
    for (size_t pick = 0; pick < 2; ++pick) {
        WriteIni("ISDBT", "Tessel Sim ISDB Tuner", DeviceIdOf(pick));
        IBonDriver2* driver = LoadDriver();
        ASSERT_NE(driver, nullptr);
        ASSERT_TRUE(driver->OpenTuner());
        sim_->CallLog()->Clear();
        ASSERT_TRUE(driver->SetChannel(0u, 0u));
        std::vector<SimCall> tunes = Calls(SimOp::SetTuneRequest);
        ASSERT_EQ(tunes.size(), 1u);
        EXPECT_EQ(tunes[0].Device, tuners_[pick].devicePath) << "pick " << pick;
        ReleaseDriver();
    }
}

TEST_F(DriverSelection, NameComparisonIsCaseSensitive) {
    WriteIni("ISDBT", "tessel sim isdb tuner", DeviceIdOf(0));
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(driver->OpenTuner());
}

TEST_F(DriverSelection, DeviceIdOfSixteenNeverMatches) {
    WriteIni("ISDBT", "Tessel Sim ISDB Tuner", std::to_string(16 + std::stoi(DeviceIdOf(0))));
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(driver->OpenTuner());
}

TEST_F(DriverSelection, RenamedLibraryReadsItsOwnIni) {
    WriteIni("ISDBS", "Tessel Sim ISDB Tuner", DeviceIdOf(0), L"X");
    WriteIni("ISDBT", "Someone Else", "0");  // the default name's INI must be ignored
    IBonDriver2* driver = LoadDriver(L"X");
    ASSERT_NE(driver, nullptr);
    EXPECT_STREQ(driver->EnumTuningSpace(0), L"BS");
    EXPECT_STREQ(driver->GetTunerName(), L"Tessel Sim ISDB Tuner");
    EXPECT_TRUE(driver->OpenTuner());
}
