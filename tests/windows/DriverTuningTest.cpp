// Tuning requests as the device receives them (from the simulator's call
// log), device failures, and the signal level.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

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

// The 32-bit build computes the signal level on the x87 unit and the 64-bit
// build with SSE; hosts must see the same bits from both, and the device the
// same tune requests. A table of inputs is driven through the DLL, written
// out (scripts/test compares the win32 and win64 copies) and reduced to one
// digest that both builds must reach.
namespace {

uint64_t Fnv1a(const std::string& text) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

// Corner values of the formula and a reproducible spread around them.
std::vector<std::pair<int32_t, int32_t>> SignalInputs() {
    std::vector<std::pair<int32_t, int32_t>> inputs;
    const int32_t levels[] = {INT32_MIN, -70000, -65600, -64944, -6560, -657, -656, -655, -1,
                              0, 1, 25, 99, 100, 12345, 16777217, INT32_MAX};
    const int32_t hundredths[] = {INT32_MIN, -101, -100, -1, 0, 1, 37, 50, 99, 100, 12345,
                                  INT32_MAX};
    for (int32_t l : levels)
        for (int32_t h : hundredths) inputs.push_back({l, h});
    uint32_t seed = 0x2010u;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int32_t l = static_cast<int32_t>(seed % 70201u) - 70000;
        seed = seed * 1664525u + 1013904223u;
        inputs.push_back({l, static_cast<int32_t>(seed % 401u) - 200});
    }
    return inputs;
}

}  // namespace

TEST_F(DriverTuning, SignalLevelsAndTuneRequestsAreTheSameOnEveryBuild) {
    std::string table;
    char line[96];
    IBonDriver2* driver = OpenDefault("ISDBT");
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    for (const auto& input : SignalInputs()) {
        Device()->SetSignal(L"13ch", input.first, input.second);
        const float level = driver->GetSignalLevel();
        uint32_t bits = 0;
        std::memcpy(&bits, &level, sizeof bits);
        std::snprintf(line, sizeof line, "signal %d %d %08x\n", input.first, input.second, bits);
        table += line;
    }
    ReleaseDriver();
    for (const char* network : {"ISDBT", "ISDBS"}) {
        driver = OpenDefault(network);
        ASSERT_NE(driver, nullptr);
        for (DWORD space = 0; driver->EnumTuningSpace(space) != nullptr; ++space) {
            for (DWORD channel = 0; driver->EnumChannelName(space, channel) != nullptr; ++channel) {
                sim_->CallLog()->Clear();
                ASSERT_TRUE(driver->SetChannel(space, channel));
                const std::vector<SimCall> frequency = Calls(SimOp::SetFrequency);
                const std::vector<SimCall> request = Calls(SimOp::SetTuneRequest);
                ASSERT_EQ(frequency.size(), 1u);
                ASSERT_EQ(request.size(), 1u);
                table += std::string("tune ") + network + " " + std::to_string(space) + " " +
                         std::to_string(channel) + " " + Hex(frequency[0].Bytes) + " " +
                         Hex(request[0].Bytes) + "\n";
            }
        }
        ReleaseDriver();
    }
    std::FILE* file = std::fopen(HF_REPORT_DIR "/signal-and-tune-table.txt", "wb");
    if (file != nullptr) {
        std::fwrite(table.data(), 1, table.size(), file);
        std::fclose(file);
    }
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 17 * 12 + 400 + 155);
    EXPECT_EQ(Fnv1a(table), 0xdddacf37bdcc5d1bull) << "the table differs from the reference build's";
}
