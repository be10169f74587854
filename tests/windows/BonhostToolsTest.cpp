// bonhost's scan and self-test against the simulated tuner, in process: a
// scan of each tuning space lists every channel with its own TSID and
// service (silent channels without), in the JSON users keep, in the
// channel file of what locked and in Mirakurun's channels.yml; the self-test
// passes every check on a working setup and, with faults injected through
// the simulator, fails the right checks with the right hints and counts them.
#include <algorithm>
#include <memory>
#include <string>

#include "channels/ChannelFileParser.h"
#include "channels/ChannelPlan.h"
#include "channels/TunerServerName.h"
#include "platform/BuildVersion.h"
#include "sim/SimChannel.h"
#include "tests/windows/DriverHarness.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostMirakurun.h"
#include "tools/bonhost/BonhostScanner.h"
#include "tools/bonhost/BonhostSelfTest.h"

namespace {

struct SpaceCase {
    const char* NetworkName;
    Network Net;
    uint32_t Space;
};

// The TSID the simulator gives a row (its own rule for terrestrial rows).
uint16_t ExpectedTsid(Network network, const ChannelRow& row) {
    return network == Network::IsdbT ? TerrestrialTsid(row.Frequency) : row.Tsid;
}

std::string Narrow(const WideChar* text) {
    std::string narrow;
    for (; *text; ++text) narrow.push_back(static_cast<char>(*text));
    return narrow;
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* bytes) {
    bytes->clear();
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (in == nullptr) return false;
    uint8_t buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, in)) > 0;)
        bytes->insert(bytes->end(), buffer, buffer + got);
    fclose(in);
    return true;
}

}  // namespace

class BonhostScan : public DriverHarness {
protected:
    // Scans one space with its fourth channel silent and checks every row.
    void ScanSpace(const SpaceCase& space);
    // The channel file a scan writes holds exactly the rows that locked, with
    // the plan's frequencies and TSIDs, and reads back as a valid file.
    void CheckChannelFile(const SpaceCase& space, const BonhostScanner& scanner,
                          std::vector<ScanRow> rows);
    // Mirakurun's channels.yml of the same rows: an entry per locked row with
    // a tuner-server name (per service with its id for satellite), written
    // whole; with nothing to write, the file there stays as it was.
    void CheckMirakurunFile(const SpaceCase& space, std::vector<ScanRow> rows);
};

void BonhostScan::CheckMirakurunFile(const SpaceCase& space, std::vector<ScanRow> rows) {
    const std::wstring path = folder_ + L"\\channels.yml";
    const std::string narrowPath(path.begin(), path.end());
    ASSERT_EQ(ExitOk, BonhostMirakurun::WriteChannels(rows, narrowPath));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, &bytes));
    const std::string yaml(bytes.begin(), bytes.end());
    const bool satellite = space.Net == Network::IsdbS;
    size_t expected = 0;
    for (uint32_t index = 0; index < rows.size(); ++index) {
        const ChannelRow& plan = *LookupChannel(space.Net, space.Space, index);
        SCOPED_TRACE(Narrow(plan.Name));
        TunerServerChannel named;
        const bool hasName =
            TunerServerName::FromRow(Narrow(TuningSpaceName(space.Net, space.Space)), Narrow(plan.Name), &named);
        TuneRequest request;
        FillTuneRequest(space.Net, space.Space, plan, &request);
        SimChannel channel;
        ASSERT_TRUE(ResolveSimChannel(request, &channel));
        std::string entry = "- name: \"" + SimServiceName(channel) + "\"\n  type: " + named.Type +
                            "\n  channel: \"" + named.Name + "\"\n";
        if (satellite) entry += "  serviceId: " + std::to_string(channel.ServiceId) + "\n";
        const bool listed = index != 3 && hasName;  // the silent one and C01ch-C12ch are not
        EXPECT_EQ(listed, hasName && yaml.find(entry) != std::string::npos) << yaml;
        expected += listed ? 1 : 0;
    }
    size_t entries = 0;
    for (size_t at = yaml.find("- name: "); at != std::string::npos; at = yaml.find("- name: ", at + 1)) ++entries;
    EXPECT_EQ(expected, entries);
    // Nothing locked: not written, and the file from before is untouched.
    for (ScanRow& row : rows) row.Locked = false;
    EXPECT_EQ(ExitOutputFailed, BonhostMirakurun::WriteChannels(rows, narrowPath));
    std::vector<uint8_t> after;
    ASSERT_TRUE(ReadWholeFile(path, &after));
    EXPECT_EQ(bytes, after);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L".part-*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << "a temporary file was left";
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

void BonhostScan::CheckChannelFile(const SpaceCase& space, const BonhostScanner& scanner,
                                   std::vector<ScanRow> rows) {
    const std::wstring path = folder_ + L"\\scanned.channels.txt";
    const std::string narrowPath(path.begin(), path.end());
    ASSERT_EQ(ExitOk, scanner.WriteChannelFile(rows, narrowPath));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, &bytes));
    ChannelList written;
    ChannelFileError error;
    ASSERT_TRUE(ChannelFileParser::Parse(bytes.data(), bytes.size(), space.Net, &written, &error))
        << error.Line << ": " << error.Message;
    ASSERT_EQ(1u, written.SpaceCount());
    ASSERT_EQ(rows.size() - 1, written.ChannelCount(0));
    for (uint32_t index = 0, kept = 0; index < rows.size(); ++index) {
        if (index == 3) continue;  // the silent one
        const ChannelRow& plan = *LookupChannel(space.Net, space.Space, index);
        const ChannelRow& row = *written.Channel(0, kept++);
        EXPECT_EQ(Narrow(plan.Name), Narrow(row.Name));
        EXPECT_EQ(plan.Frequency, row.Frequency);
        EXPECT_EQ(plan.Tsid, row.Tsid);
    }
    // A row the driver's list no longer holds under that name is left out;
    // with nothing locked, no file is written at all.
    rows[0].ChannelName = "renamed";
    ASSERT_EQ(ExitOk, scanner.WriteChannelFile(rows, narrowPath));
    ASSERT_TRUE(ReadWholeFile(path, &bytes));
    ASSERT_TRUE(ChannelFileParser::Parse(bytes.data(), bytes.size(), space.Net, &written, &error));
    EXPECT_EQ(rows.size() - 2, written.ChannelCount(0));
    for (ScanRow& row : rows) row.Locked = false;
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(ExitOutputFailed, scanner.WriteChannelFile(rows, narrowPath));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
}

void BonhostScan::ScanSpace(const SpaceCase& space) {
    const ChannelRow& silentRow = *LookupChannel(space.Net, space.Space, 3);
    auto sources = std::make_shared<SimChannelSources>();
    SimChannelSource silent;
    silent.Kind = SimSourceKind::Silent;
    sources->Set(Narrow(silentRow.Name), silent);
    sim_->SetChannelSources(sources);
    IBonDriver2* driver = OpenDefault(space.NetworkName);
    ASSERT_NE(driver, nullptr);

    BonhostScanner scanner(driver, module_);
    const std::vector<ScanRow> rows = scanner.Scan({space.Space}, 1000, false);
    ASSERT_EQ(ChannelCount(space.Net, space.Space), rows.size());
    const std::string json = ScanReport::Json(rows);
    std::vector<double> rates;
    for (uint32_t index = 0; index < rows.size(); ++index) {
        const ScanRow& row = rows[index];
        const ChannelRow& plan = *LookupChannel(space.Net, space.Space, index);
        SimChannel channel;
        channel.Net = space.Net;
        channel.Space = space.Space;
        channel.Row = &plan;
        SCOPED_TRACE(Narrow(plan.Name));
        ASSERT_EQ(Narrow(plan.Name), row.ChannelName);
        ASSERT_TRUE(row.Tuned);
        const std::string head = "{\"space\": " + std::to_string(space.Space) + ", \"spaceName\": \"" +
                                 row.SpaceName + "\", \"channel\": " + std::to_string(index) +
                                 ", \"channelName\": \"" + row.ChannelName + "\", \"signal\": ";
        ASSERT_NE(json.find(head), std::string::npos);
        if (index == 3) {
            EXPECT_FALSE(row.Locked);
            EXPECT_FALSE(row.HasTsid);
            EXPECT_EQ(0.0, row.Signal);
            EXPECT_NE(json.find(row.ChannelName + "\", \"signal\": 0.00, \"locked\": false, \"tsid\": null, "
                                                  "\"services\": [], \"mbps\": 0.00}"),
                      std::string::npos);
            continue;
        }
        EXPECT_TRUE(row.Locked);
        EXPECT_GT(row.Signal, 0.0);
        ASSERT_TRUE(row.HasTsid);
        EXPECT_EQ(ExpectedTsid(space.Net, plan), row.Tsid);
        EXPECT_EQ(std::vector<std::string>{SimServiceName(channel)}, row.Services);
        EXPECT_EQ(SimNetworkName(channel), row.NetworkName);
        EXPECT_GT(row.Mbps, 0.0);
        rates.push_back(row.Mbps);
        EXPECT_NE(json.find("\"locked\": true, \"tsid\": " + std::to_string(row.Tsid) +
                            ", \"services\": [\"" + SimServiceName(channel) + "\"], \"mbps\": "),
                  std::string::npos);
    }
    // Each rate is measured over a quarter second, so a loaded machine
    // spreads them; their median is the simulator's 16 Mbit/s.
    std::sort(rates.begin(), rates.end());
    EXPECT_NEAR(16.0, rates[rates.size() / 2], 1.5);
    // The table puts the channels with a signal first.
    const std::string table = ScanReport::Table(rows);
    EXPECT_GT(table.find(" " + Narrow(silentRow.Name) + " "), table.find(" " + rows.back().ChannelName + " "));
    EXPECT_NE(table.find(std::to_string(rows.size() - 1) + " of " + std::to_string(rows.size()) +
                         " channels locked"),
              std::string::npos);
    CheckChannelFile(space, scanner, rows);
    CheckMirakurunFile(space, rows);
}

// One space per test: a whole space takes tens of seconds under Wine.
TEST_F(BonhostScan, UhfChannelsEachWithItsOwnTsid) { ScanSpace({"ISDBT", Network::IsdbT, 0}); }
TEST_F(BonhostScan, CatvChannelsEachWithItsOwnTsid) { ScanSpace({"ISDBT", Network::IsdbT, 1}); }
TEST_F(BonhostScan, BsStreamsEachWithItsOwnTsid) { ScanSpace({"ISDBS", Network::IsdbS, 0}); }
TEST_F(BonhostScan, Cs110StreamsEachWithItsOwnTsid) { ScanSpace({"ISDBS", Network::IsdbS, 1}); }

class BonhostSelfTestRun : public DriverHarness {
protected:
    // The DLL copied beside its INI, as a user installs it; the self-test
    // loads it itself.
    SelfTestReport Run(const std::string& network, const std::string& tunerName) {
        WriteIni(network, tunerName, DeviceIdOf(0));
        const std::wstring dll = folder_ + L"\\BonDriver_TesselBDA.dll";
        EXPECT_TRUE(CopyFileW(HF_DRIVER_DLL, dll.c_str(), FALSE));
        BonhostOptions options;
        options.Command = BonhostCommand::SelfTest;
        options.Driver = std::string(dll.begin(), dll.end());
        BonhostSelfTest selfTest(options);
        SelfTestReport report = selfTest.Run(false);
        reportText_ = selfTest.ReportText();
        return report;
    }
    static CheckVerdict Verdict(const SelfTestReport& report, const char* name) {
        const CheckResult* check = report.Find(name);
        EXPECT_NE(check, nullptr) << name;
        return check != nullptr ? check->Verdict : CheckVerdict::Skip;
    }
    static std::string Hint(const SelfTestReport& report, const char* name) {
        const CheckResult* check = report.Find(name);
        return check != nullptr ? check->Hint : std::string();
    }
    std::string reportText_;
};

TEST_F(BonhostSelfTestRun, EveryCheckPassesOnAWorkingSetup) {
    const SelfTestReport report = Run("ISDBT", "Tessel Sim ISDB Tuner");
    for (const char* name : {"library", "settings", "channels", "tuner", "recovery", "open", "tune",
                             "stream", "pidfilter", "card", "remote", "reopen"})
        EXPECT_EQ(CheckVerdict::Pass, Verdict(report, name)) << SelfTestReport::Line(*report.Find(name));
    EXPECT_EQ(CheckVerdict::Skip, Verdict(report, "lnb"));  // terrestrial
    EXPECT_EQ(0, report.Failed());
    EXPECT_EQ(13u, report.Checks().size());
    EXPECT_EQ(0u, report.Find("recovery")->Detail.find("self-recovery on (AutoRecover=1, StallSeconds=10)"))
        << report.Find("recovery")->Detail;
    EXPECT_NE(reportText_.find("version resource " BDA_VERSION_FILE_TEXT), std::string::npos);
    EXPECT_NE(reportText_.find("NetworkName=ISDBT, TunerFrendlyName=Tessel Sim ISDB Tuner"),
              std::string::npos);
    EXPECT_EQ(0u, report.Find("channels")->Detail.find("none (no "));
    EXPECT_NE(reportText_.find("12 passed, 0 failed, 1 skipped"), std::string::npos);
}

// A maker's component registered apartment-threaded turns the driver's
// self-recovery off; the self-test says so, and which class it was.
TEST_F(BonhostSelfTestRun, RecoveryRowNamesAnApartmentThreadedComponent) {
    ASSERT_EQ(SimRegistry::SetThreadingModel(L"Apartment"), S_OK);
    const SelfTestReport report = Run("ISDBT", "Tessel Sim ISDB Tuner");
    SimRegistry::SetThreadingModel(L"Both");
    const std::string detail = report.Find("recovery")->Detail;
    EXPECT_EQ(CheckVerdict::Pass, Verdict(report, "recovery"));
    EXPECT_EQ(0u, detail.find("self-recovery OFF for this tuner: the tuner's device filter ("))
        << detail;
    EXPECT_NE(detail.find(") is registered ThreadingModel=Apartment"), std::string::npos) << detail;
    EXPECT_EQ(CheckVerdict::Pass, Verdict(report, "stream")) << "the tuner itself works";
}

TEST_F(BonhostSelfTestRun, InjectedFaultsFailTheirChecksWithHints) {
    Device()->SetCardPresent(false);
    Device()->ArmFault(SimOp::CheckLNBPowerCircuit, E_FAIL, SimFaultAlways);
    Device()->ArmFault(SimOp::EnablePidFilter, E_FAIL, SimFaultAlways);
    // A satellite line without its TSID: the file is refused, the built-in
    // channels still tune.
    const std::wstring channels = folder_ + L"\\BonDriver_TesselBDA.channels.txt";
    FILE* file = _wfopen(channels.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    fputs("# mine\r\nBS, BS1/TS0, 11727480\r\n", file);
    fclose(file);
    const SelfTestReport report = Run("ISDBS", "Tessel Sim ISDB Tuner");
    EXPECT_EQ(CheckVerdict::Fail, Verdict(report, "channels"));
    EXPECT_NE(report.Find("channels")->Detail.find("CHANNEL FILE REFUSED"), std::string::npos);
    const std::string detail = report.Find("channels")->Detail;
    EXPECT_NE(detail.find(".channels.txt, line 2: "), std::string::npos) << detail;
    EXPECT_NE(detail.find("TSID"), std::string::npos) << detail;
    EXPECT_EQ(CheckVerdict::Pass, Verdict(report, "stream"));
    EXPECT_EQ(CheckVerdict::Fail, Verdict(report, "card"));
    EXPECT_NE(Hint(report, "card").find("insert the broadcast card"), std::string::npos);
    EXPECT_EQ(CheckVerdict::Fail, Verdict(report, "lnb"));
    EXPECT_NE(Hint(report, "lnb").find("short circuit"), std::string::npos);
    EXPECT_EQ(CheckVerdict::Fail, Verdict(report, "pidfilter"));
    EXPECT_NE(Hint(report, "pidfilter").find("hardware PID filtering"), std::string::npos);
    EXPECT_EQ(4, report.Failed());
}

TEST_F(BonhostSelfTestRun, MissingTunerListsTheTunersThatExist) {
    const SelfTestReport report = Run("ISDBT", "Some Other Tuner");
    EXPECT_EQ(CheckVerdict::Pass, Verdict(report, "settings"));
    EXPECT_EQ(CheckVerdict::Fail, Verdict(report, "tuner"));
    EXPECT_NE(Hint(report, "tuner").find("Tessel Sim ISDB Tuner: INI: TunerFrendlyName=Tessel Sim ISDB "
                                         "Tuner  DeviceID=" + DeviceIdOf(0)),
              std::string::npos);
    for (const char* name : {"open", "tune", "stream", "card", "reopen"})
        EXPECT_EQ(CheckVerdict::Skip, Verdict(report, name)) << name;
    EXPECT_EQ(1, report.Failed());
}

TEST_F(BonhostSelfTestRun, OpenFailureIsNamedAndTheRestSkipped) {
    Device()->ArmFault(SimOp::Pause, E_FAIL, SimFaultAlways);
    const SelfTestReport report = Run("ISDBT", "Tessel Sim ISDB Tuner");
    EXPECT_EQ(CheckVerdict::Pass, Verdict(report, "tuner"));
    EXPECT_EQ(CheckVerdict::Fail, Verdict(report, "open"));
    EXPECT_NE(Hint(report, "open").find("close every other program"), std::string::npos);
    EXPECT_EQ(CheckVerdict::Skip, Verdict(report, "stream"));
    EXPECT_EQ(1, report.Failed());
}
