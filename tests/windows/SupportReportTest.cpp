// `bonhost selftest --report-dir` with the tracing DLL, in process against
// the simulated tuner with faults injected: a card that is missing, a PID
// filter that refuses, a channel without signal. Each folder holds what the
// users' guide promises (the table, the driver's trace, its device calls,
// seconds of TS, the settings) and leaves the card's bytes out. The folders
// stay in the build tree: ReportReplayProbe.sh replays them in a fresh Wine
// prefix and holds the replayed self-test to the same table.
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "platform/DeviceCallText.h"
#include "platform/FileText.h"
#include "tests/windows/DriverHarness.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/SupportReport.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// "FAIL card" for each check line of a report's table.
std::string Verdicts(const std::string& report) {
    std::string verdicts;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 4, "PASS") != 0 && line.compare(0, 4, "FAIL") != 0 &&
            line.compare(0, 4, "SKIP") != 0)
            continue;
        std::istringstream words(line);
        std::string verdict, name;
        words >> verdict >> name;
        verdicts += verdict + " " + name + "\n";
    }
    return verdicts;
}

struct Scenario {
    const char* Name;
    const char* Failing;  // the checks that must fail, in order
    double Seconds;
    uint64_t BitRate;
};

using SupportReportTest = DriverHarness;

}  // namespace

TEST_F(SupportReportTest, FoldersOfThreeFaultsHoldTheirTraceAndLeaveTheCardOut) {
    ExtendBound(300);
    // The first is small enough to keep as a fixture (tests/fixtures/).
    const Scenario scenarios[] = {{"card-missing", "FAIL card\n", 1, 2000000},
                                  {"pidfilter-refuses", "FAIL pidfilter\n", 5, SimDefaultBitRate},
                                  {"no-signal", "FAIL tune\n", 1, SimDefaultBitRate}};
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.Name);
        sim_->Reset();
        const std::string name = scenario.Name;
        Device()->SetBitRate(scenario.BitRate);
        if (name == "card-missing") Device()->SetCardPresent(false);
        if (name == "pidfilter-refuses") Device()->ArmFault(SimOp::SetPidFilterList, E_FAIL, SimFaultAlways);
        if (name == "no-signal") {
            auto sources = std::make_shared<SimChannelSources>();
            sources->Set("13ch", SimChannelSource{SimSourceKind::Silent, "", nullptr});
            sim_->SetChannelSources(sources);
        }
        WriteDefaultIni();
        const std::wstring dll = folder_ + L"\\BonDriver_TesselBDA.dll";
        ASSERT_TRUE(CopyFileW(HF_TRACE_DRIVER_DLL, dll.c_str(), FALSE));
        const std::wstring dir = std::wstring(HF_REPORTS_DIR) + L"\\" +
                                 std::wstring(name.begin(), name.end());
        BonhostOptions options;
        options.Command = BonhostCommand::SelfTest;
        options.Driver = Narrow(dll);
        options.Space = "0";
        options.Channel = "13ch";
        options.ReportDir = Narrow(dir);
        options.ReportSeconds = scenario.Seconds;
        EXPECT_EQ(SupportReport(options).Run(), 1) << "one check fails";
        sim_->SetChannelSources(nullptr);

        const std::string report = ReadWholeFile(dir + L"\\report.txt");
        EXPECT_NE(Verdicts(report).find(scenario.Failing), std::string::npos) << report;
        EXPECT_NE(report.find("\ntrace: yes"), std::string::npos);
        EXPECT_NE(report.find("\ncard data: left out"), std::string::npos);
        EXPECT_NE(report.find("\nsystem: "), std::string::npos);
        EXPECT_NE(report.find(", version resource 1."), std::string::npos);
        EXPECT_NE(ReadWholeFile(dir + L"\\trace.txt").find("(CMyBonDriver::OpenTuner)"), std::string::npos);
        EXPECT_NE(ReadWholeFile(dir + L"\\tuners.txt").find(Narrow(tuners_[0].devicePath)), std::string::npos);
        EXPECT_FALSE(ReadWholeFile(dir + L"\\settings\\BonDriver_TesselBDA.ini").empty());
        // Every device-call line parses; the card's command bytes stay home.
        const std::string calls = ReadWholeFile(dir + L"\\device-calls.txt");
        std::istringstream lines(calls);
        size_t count = 0, card = 0;
        for (std::string line; std::getline(lines, line); ++count) {
            DeviceCall call;
            ASSERT_TRUE(DeviceCallText::Parse(line, &call)) << line;
            if (call.Operation != "TransmitCardCommand") continue;
            ++card;
            EXPECT_EQ(call.In.at(0).Type, DeviceCallItem::Kind::Hidden) << line;
        }
        EXPECT_GT(count, 10u);
        // A card that is there is asked, and its bytes are left out above.
        EXPECT_EQ(card > 0, name != "card-missing");
        const size_t stream = ReadWholeFile(dir + L"\\stream.ts").size();
        if (name == "no-signal") {
            EXPECT_EQ(stream, 0u);
        } else {
            // The seconds asked for, but for the chunk still filling.
            EXPECT_GT(stream + 192512, static_cast<size_t>(scenario.Seconds * scenario.BitRate / 8 * 0.9));
            EXPECT_GT(stream, 0u);
        }
    }
}

TEST(SupportReportPrivacy, CardBytesGoUnlessAskedForAndTheRestStays) {
    const std::string card =
        "(DeviceCall) 5 TransmitCardCommand in=x90300000,512 hr=0x00000000 out=x0004aabb9000";
    const std::string hidden = SupportReport::PrivateLine(card, false);
    DeviceCall call;
    ASSERT_TRUE(DeviceCallText::Parse(hidden.substr(13), &call)) << hidden;
    EXPECT_EQ(call.In[0].Type, DeviceCallItem::Kind::Hidden);
    EXPECT_EQ(call.In[0].HiddenLength, 4u);
    EXPECT_EQ(call.In[1].Number, 512u);
    ASSERT_EQ(call.Out[0].Type, DeviceCallItem::Kind::Hidden);
    EXPECT_EQ(call.Out[0].HiddenLength, 6u);
    EXPECT_EQ(call.Out[0].Bytes, (std::vector<uint8_t>{0x90, 0x00})) << "the status word stays";
    EXPECT_EQ(hidden.find("aabb"), std::string::npos);
    EXPECT_EQ(SupportReport::PrivateLine(card, true), card);
    const std::string tune = "(DeviceCall) 5 SetTunerMode in=3 hr=0x00000000 out=";
    EXPECT_EQ(SupportReport::PrivateLine(tune, false), tune);
    EXPECT_EQ(SupportReport::PrivateLine("(CMyBonDriver::OpenTuner)", false), "(CMyBonDriver::OpenTuner)");
}
