// `bonhost selftest --report-dir` with the tracing DLL, in process against
// the simulated tuner with faults injected: a card that is missing, a PID
// filter that refuses, a channel without signal, and a channel file of the
// user's own names. Each folder holds what the users' guide promises (the
// table, the driver's trace, its device calls, seconds of TS written as they
// came, the settings) and no card bytes; a file that cannot be written is
// named and the others are written. The folders stay in the build tree:
// ReportReplayProbe.sh replays them in a fresh Wine prefix and holds the
// replayed self-test to the same table. And the tracing DLL's own debug
// output, which anyone may read, carries no card bytes either.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/DeviceCallText.h"
#include "platform/FileText.h"
#include "tests/windows/DriverHarness.h"
#include "tools/bonhost/BonDriverModule.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostExtras.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/DebugOutputCapture.h"
#include "tools/bonhost/SupportReport.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::wstring WideOf(const std::string& text) { return std::wstring(text.begin(), text.end()); }

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

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Whether `text` holds any 3-byte run of `bytes` in hex, in either case,
// with or without blanks between the bytes (runs mostly of zeros left out:
// every result code holds them).
bool HoldsAnyRunOf(const std::string& text, const std::vector<uint8_t>& bytes) {
    const std::string lower = Lower(text);
    for (size_t at = 0; at + 3 <= bytes.size(); ++at) {
        if ((bytes[at] == 0) + (bytes[at + 1] == 0) + (bytes[at + 2] == 0) >= 2) continue;
        char tight[8], spaced[12];
        std::snprintf(tight, sizeof tight, "%02x%02x%02x", bytes[at], bytes[at + 1], bytes[at + 2]);
        std::snprintf(spaced, sizeof spaced, "%02x %02x %02x", bytes[at], bytes[at + 1], bytes[at + 2]);
        if (lower.find(tight) != std::string::npos || lower.find(spaced) != std::string::npos) return true;
    }
    return false;
}

// The card calls among a capture's device-call lines.
std::vector<DeviceCall> CardCalls(const std::string& text) {
    std::vector<DeviceCall> calls;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("(DeviceCall) ");
        DeviceCall call;
        if (at != std::string::npos && DeviceCallText::Parse(line.substr(at + 13), &call) &&
            call.Operation == "TransmitCardCommand")
            calls.push_back(call);
    }
    return calls;
}

class SupportReportTest : public DriverHarness {
protected:
    // The tracing DLL beside the default INI, and the options of a report
    // into reports\`name` of 13ch.
    BonhostOptions ReportOptions(const std::string& name, double seconds) {
        WriteDefaultIni();
        const std::wstring dll = folder_ + L"\\BonDriver_TesselBDA.dll";
        EXPECT_TRUE(CopyFileW(HF_TRACE_DRIVER_DLL, dll.c_str(), FALSE));
        BonhostOptions options;
        options.Command = BonhostCommand::SelfTest;
        options.Driver = Narrow(dll);
        options.Space = "0";
        options.Channel = "13ch";
        options.ReportDir = Narrow(std::wstring(HF_REPORTS_DIR)) + "\\" + name;
        options.ReportSeconds = seconds;
        return options;
    }
};

}  // namespace

TEST_F(SupportReportTest, FoldersOfFourCasesHoldTheirTraceAndLeaveTheCardOut) {
    ExtendBound(300);
    // The first is small enough to keep as a fixture (tests/fixtures/).
    // The last names its channels as a user's file may: not as the plan
    // does, beyond ASCII, with parentheses; the replay must find its stream.
    const Scenario scenarios[] = {{"card-missing", "FAIL card\n", 1, 2000000},
                                  {"pidfilter-refuses", "FAIL pidfilter\n", 5, SimDefaultBitRate},
                                  {"no-signal", "FAIL tune\n", 1, SimDefaultBitRate},
                                  {"own-channel-names", "FAIL card\n", 1, 2000000}};
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.Name);
        sim_->Reset();
        const std::string name = scenario.Name;
        Device()->SetBitRate(scenario.BitRate);
        if (name == "card-missing" || name == "own-channel-names") Device()->SetCardPresent(false);
        if (name == "pidfilter-refuses") Device()->ArmFault(SimOp::SetPidFilterList, E_FAIL, SimFaultAlways);
        if (name == "no-signal") {
            auto sources = std::make_shared<SimChannelSources>();
            sources->Set("13ch", SimChannelSource{SimSourceKind::Silent, "", nullptr});
            sim_->SetChannelSources(sources);
        }
        BonhostOptions options = ReportOptions(name, scenario.Seconds);
        if (name == "own-channel-names") {
            // 14ch and 13ch of the plan, under the user's names.
            const std::string channels = "UFH, \xEF\xBC\xAE\xEF\xBC\xA8\xEF\xBC\xAB\xE7\xB7\x8F"
                                         "\xE5\x90\x88(\xE6\x9D\xB1\xE4\xBA\xAC), 479143\n"
                                         "UFH, TV (1), 473143\n";
            std::FILE* file = _wfopen((folder_ + L"\\BonDriver_TesselBDA.channels.txt").c_str(), L"wb");
            ASSERT_NE(file, nullptr);
            std::fwrite(channels.data(), 1, channels.size(), file);
            std::fclose(file);
            options.Channel = "0";
        }
        const std::wstring dir = WideOf(options.ReportDir);
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
        EXPECT_EQ(card > 0, name == "pidfilter-refuses" || name == "no-signal");
        EXPECT_EQ(report.find("\nmissing: "), std::string::npos) << report;
        EXPECT_FALSE(Exists(dir + L"\\card-data.txt"));
        if (name == "own-channel-names") {
            EXPECT_FALSE(ReadWholeFile(dir + L"\\settings\\BonDriver_TesselBDA.channels.txt").empty());
            EXPECT_NE(report.find("channel 0 (\xEF\xBC\xAE"), std::string::npos) << report;
        }
        // The device call that tuned the recording is named, and it is the tune.
        const std::string tunedBy = "\nstream.ts tuned by: device-calls.txt line ";
        const size_t named = report.find(tunedBy);
        if (name != "no-signal") {
            ASSERT_NE(named, std::string::npos) << report;
            const size_t line = std::stoul(report.substr(named + tunedBy.size()));
            std::istringstream again(calls);
            std::string text;
            for (size_t n = 0; n < line; ++n) std::getline(again, text);
            EXPECT_NE(text.find(" SetTuneRequest in=x"), std::string::npos) << text;
            const uint32_t khz = name == "own-channel-names" ? 479143 : 473143;
            char frequency[16];
            std::snprintf(frequency, sizeof frequency, "%02x%02x%02x00", khz & 0xFF, (khz >> 8) & 0xFF, khz >> 16);
            EXPECT_NE(text.find(frequency), std::string::npos) << text;
        }
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

// An older tracing DLL still wrote the card's bytes: the folder keeps them
// out all the same, with or without --include-card-data, which takes its
// bytes from bonhost's own exchanges instead.
TEST(SupportReportPrivacy, CardBytesOfAnOlderTraceGoAndTheRestStays) {
    const std::string card =
        "(DeviceCall) 5 TransmitCardCommand in=x90300000,512 hr=0x00000000 out=x0004aabb9000";
    const KeyedDigest key(1, 2);
    const std::string hidden = SupportReport::PrivateLine(card, &key);
    DeviceCall call;
    ASSERT_TRUE(DeviceCallText::Parse(hidden.substr(13), &call)) << hidden;
    EXPECT_EQ(call.In[0].Type, DeviceCallItem::Kind::Hidden);
    EXPECT_EQ(call.In[0].HiddenLength, 4u);
    const uint8_t command[] = {0x90, 0x30, 0x00, 0x00};
    EXPECT_EQ(call.In[0].HiddenDigest, key.Of(command, sizeof command));
    EXPECT_EQ(call.In[1].Number, 512u);
    ASSERT_EQ(call.Out[0].Type, DeviceCallItem::Kind::Hidden);
    EXPECT_EQ(call.Out[0].HiddenLength, 6u);
    EXPECT_EQ(call.Out[0].Bytes, (std::vector<uint8_t>{0x90, 0x00})) << "the status word stays";
    EXPECT_EQ(hidden.find("aabb"), std::string::npos);
    EXPECT_EQ(SupportReport::PrivateLine(hidden, &key), hidden) << "a hidden line stays as it is";
    const std::string tune = "(DeviceCall) 5 SetTunerMode in=3 hr=0x00000000 out=";
    EXPECT_EQ(SupportReport::PrivateLine(tune, &key), tune);
    EXPECT_EQ(SupportReport::PrivateLine("(CMyBonDriver::OpenTuner)", &key), "(CMyBonDriver::OpenTuner)");

    CardExchange answered{{0x90, 0x30, 0x00, 0x00, 0x00}, 0, {0x00, 0x90, 0x00}};
    CardExchange refused{{0x80, 0x5E}, static_cast<LONG>(0x8010001F), {}};
    const std::string data = SupportReport::CardDataText({answered, refused});
    EXPECT_NE(data.find("1. command 90 30 00 00 00\n   status 0x00000000, answer 00 90 00\n"), std::string::npos)
        << data;
    EXPECT_NE(data.find("2. command 80 5E\n   status 0x8010001F\n"), std::string::npos) << data;
}

// What any debug viewer would show while `bonhost card` runs against the
// simulated card through the tracing DLL: the card calls are there, with
// their lengths and status word, but not one run of the command's or the
// answer's bytes. Equal bytes give equal digests within one load of the
// library, and another load draws another key.
TEST_F(SupportReportTest, TheTracingDllsDebugOutputCarriesNoCardBytes) {
    WriteDefaultIni();
    const std::wstring dll = folder_ + L"\\BonDriver_TesselBDA.dll";
    ASSERT_TRUE(CopyFileW(HF_TRACE_DRIVER_DLL, dll.c_str(), FALSE));
    BonhostOptions options;
    options.Apdu = {0x80, 0x5E, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x17};
    // The simulated card answers the command reversed and 90 00.
    std::vector<uint8_t> answer(options.Apdu.rbegin(), options.Apdu.rend());
    answer.insert(answer.end(), {0x90, 0x00});
    std::vector<uint64_t> digests;
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load);
        DebugOutputCapture capture;
        ASSERT_TRUE(capture.Active());
        BonDriverModule module;
        std::string error;
        ASSERT_EQ(module.Load(dll, &error), BonDriverModule::Loaded) << error;
        EXPECT_EQ(BonhostCard(module.Module(), module.Driver(), options), ExitOk);
        EXPECT_EQ(BonhostCard(module.Module(), module.Driver(), options), ExitOk);
        module.Unload();
        capture.Stop();
        const std::string text = capture.Text();
        EXPECT_NE(text.find("(CMyBonDriver::OpenTuner)"), std::string::npos) << "the trace came";
        EXPECT_FALSE(HoldsAnyRunOf(text, options.Apdu)) << text;
        EXPECT_FALSE(HoldsAnyRunOf(text, answer)) << text;
        const std::vector<DeviceCall> calls = CardCalls(text);
        ASSERT_GE(calls.size(), 2u) << text;
        for (const DeviceCall& call : calls) {
            ASSERT_EQ(call.In.at(0).Type, DeviceCallItem::Kind::Hidden);
            EXPECT_EQ(call.In[0].HiddenLength, options.Apdu.size());
            ASSERT_EQ(call.Out.at(0).Type, DeviceCallItem::Kind::Hidden);
            EXPECT_EQ(call.Out[0].HiddenLength, answer.size() + 2) << "the length bytes and the body";
            EXPECT_EQ(call.Out[0].Bytes, (std::vector<uint8_t>{0x90, 0x00}));
            EXPECT_NE(call.In[0].HiddenDigest, 0u) << "the system gave no key";
            EXPECT_EQ(call.In[0].HiddenDigest, calls[0].In[0].HiddenDigest) << "one key per load";
        }
        digests.push_back(calls[0].In[0].HiddenDigest);
    }
    EXPECT_NE(digests[0], digests[1]) << "the key is drawn afresh";
}

// A 30 Mbit/s stream goes to stream.ts while it is recorded, before any
// other file is written, so no report holds its stream in memory; with
// --include-card-data the card's bytes are bonhost's own, in a file of their
// own. Then a stream.ts that cannot be written: every other file is, and
// report.txt and the exit code say what is missing.
TEST_F(SupportReportTest, StreamGoesToItsFileAsItComesAndAFileThatFailsIsNamed) {
    ExtendBound(200);
    Device()->SetBitRate(30000000);
    BonhostOptions options = ReportOptions("streaming", 3);
    options.IncludeCardData = true;
    const std::wstring dir = WideOf(options.ReportDir);
    // Sizes of stream.ts seen while the recording runs (before trace.txt).
    std::atomic<bool> done{false};
    std::atomic<uint64_t> smallestSeen{UINT64_MAX}, largestSeen{0};
    std::thread watcher([&] {
        while (!done.load()) {
            const uint64_t size = FileSize(dir + L"\\stream.ts");
            if (!Exists(dir + L"\\trace.txt") && size > 0) {
                if (size < smallestSeen.load()) smallestSeen.store(size);
                if (size > largestSeen.load()) largestSeen.store(size);
            }
            Sleep(20);
        }
    });
    DeleteFileW((dir + L"\\trace.txt").c_str());
    DeleteFileW((dir + L"\\stream.ts").c_str());
    EXPECT_EQ(SupportReport(options).Run(), 0);
    done.store(true);
    watcher.join();
    const uint64_t stream = FileSize(dir + L"\\stream.ts");
    EXPECT_GT(stream, 3 * 30000000ull / 8 / 2);
    // It grew while it was recorded, rather than appearing whole at the end.
    EXPECT_LT(smallestSeen.load(), stream / 2) << "the stream was written at the end";
    EXPECT_GT(largestSeen.load(), stream / 2);
    const std::string report = ReadWholeFile(dir + L"\\report.txt");
    EXPECT_NE(report.find("\ncard data: in card-data.txt"), std::string::npos) << report;
    const std::string cardData = ReadWholeFile(dir + L"\\card-data.txt");
    EXPECT_NE(cardData.find("1. command 90 30 00 00 00\n   status 0x00000000, answer "), std::string::npos)
        << cardData;
    // The simulated card's answer: the command reversed and 90 00.
    const std::vector<uint8_t> answer = {0x00, 0x00, 0x00, 0x30, 0x90, 0x90, 0x00};
    EXPECT_FALSE(HoldsAnyRunOf(ReadWholeFile(dir + L"\\trace.txt"), answer));
    EXPECT_FALSE(HoldsAnyRunOf(ReadWholeFile(dir + L"\\device-calls.txt"), answer));

    // stream.ts cannot be made: a folder has its name.
    sim_->Reset();
    options = ReportOptions("stream-unwritable", 1);
    const std::wstring blocked = WideOf(options.ReportDir);
    CreateDirectoryW(blocked.c_str(), nullptr);
    CreateDirectoryW((blocked + L"\\stream.ts").c_str(), nullptr);
    EXPECT_EQ(SupportReport(options).Run(), ExitOutputFailed);
    const std::string unwritten = ReadWholeFile(blocked + L"\\report.txt");
    EXPECT_NE(unwritten.find("\nmissing: stream.ts (cannot create it"), std::string::npos) << unwritten;
    EXPECT_NE(unwritten.find("\nPASS  tune"), std::string::npos) << unwritten;
    for (const wchar_t* file : {L"trace.txt", L"device-calls.txt", L"tuners.txt", L"settings\\BonDriver_TesselBDA.ini"})
        EXPECT_GT(FileSize(blocked + L"\\" + file), 0u) << Narrow(file);
    RemoveDirectoryW((blocked + L"\\stream.ts").c_str());
}
