// Replaying a user's report: what SimReplayPlan accepts from a report
// folder's texts and what it refuses (with the reason), and what the
// simulated device then does with the report: the stream plays on the tune
// the user's driver sent, whatever the simulator's plan calls it, and no
// length in the report sizes anything inside a device call.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "channels/ChannelPlan.h"
#include "sim/SimAnswerScript.h"
#include "sim/SimReplayPlan.h"
#include "sim/SimState.h"
#include "ts/TsGenerator.h"
#include "ts/TsStreamChecker.h"

namespace {

const char HexDigits[] = "0123456789abcdef";

std::string Hex(const void* bytes, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = static_cast<const uint8_t*>(bytes)[i];
        text += HexDigits[byte >> 4];
        text += HexDigits[byte & 15];
    }
    return text;
}

TuneRequest PlanTune(Network network, uint32_t space, uint32_t index) {
    TuneRequest request{};
    FillTuneRequest(network, space, *LookupChannel(network, space, index), &request);
    return request;
}

std::string TuneLine(uint64_t ms, const TuneRequest& request) {
    return std::to_string(ms) + " SetTuneRequest in=x" + Hex(&request, sizeof request) +
           " hr=0x00000000 out=\n";
}

const char Tuners[] =
    "1. PX-Q1UD ISDB-T\n   DevicePath: \\\\?\\usb#vid_0511&pid_0045#1#{fd0a5af4}\n"
    "   [FRONTEND] DeviceID=0\n"
    "2. PX-Q1UD ISDB-T\n   DevicePath: \\\\?\\usb#vid_0511&pid_0045#2#{fd0a5af4}\n";

const char Report[] =
    "bonhost selftest 1.1.0\nPASS  tune  0.58 s  ＮＨＫ総合(東京): signal 18.00\n\n"
    "stream.ts: 192512 bytes of space 0, channel 1 (ＮＨＫ総合(東京))\n"
    "stream.ts tuned by: device-calls.txt line 4\n";

}  // namespace

TEST(SimReplayPlan, ReadsTheTunersAndTiesTheStreamToItsTune) {
    const TuneRequest first = PlanTune(Network::IsdbT, 0, 0), stream = PlanTune(Network::IsdbT, 0, 1);
    const TuneRequest scanned = PlanTune(Network::IsdbT, 0, 5);
    // The self-test's tune, the recording's (line 4), then a scan's.
    const std::string calls = "0 SetTunerMode in=3 hr=0x00000000 out=\n" + TuneLine(3, first) +
                              "5 GetCardStatus in= hr=0x00000000 out=0\r\n" + TuneLine(9, stream) +
                              "\n" + TuneLine(12, scanned);
    SimReplayPlan plan;
    std::string error;
    ASSERT_TRUE(plan.Read(Report, calls, Tuners, &error)) << error;
    ASSERT_EQ(plan.Tuners().size(), 2u);
    EXPECT_EQ(plan.Tuners()[1].FriendlyName, "PX-Q1UD ISDB-T");
    EXPECT_EQ(plan.Tuners()[1].DevicePath, "\\\\?\\usb#vid_0511&pid_0045#2#{fd0a5af4}");
    EXPECT_EQ(plan.DeviceCalls(), 5u);
    ASSERT_TRUE(plan.HasStream());
    EXPECT_EQ(plan.StreamTuneLine(), 4u);
    EXPECT_EQ(plan.StreamTune().Tail.Frequency, 479143u);
    EXPECT_EQ(SimChannelSources::TuneKey(plan.StreamTune()), "tune 479143 kHz");

    // An earlier report, which does not name the line: the last tune.
    const std::string unnamed = std::string(Report).substr(0, std::string(Report).rfind("stream.ts tuned"));
    ASSERT_TRUE(plan.Read(unnamed, calls, Tuners, &error)) << error;
    EXPECT_EQ(plan.StreamTuneLine(), 6u);
    // A satellite tune is told apart by its TSID too.
    const TuneRequest bs = PlanTune(Network::IsdbS, 0, 7);
    ASSERT_TRUE(plan.Read(unnamed, TuneLine(1, bs), "", &error)) << error;
    EXPECT_EQ(SimChannelSources::TuneKey(plan.StreamTune()),
              "tune " + std::to_string(bs.Tail.Frequency) + " kHz TSID 0x4671");
    EXPECT_TRUE(plan.Tuners().empty());
    // Without TS there is no tune to find, and none is needed.
    ASSERT_TRUE(plan.Read("stream.ts: 0 bytes of space 0, channel 1\n",
                          "0 SetTunerMode in=3 hr=0x00000000 out=\n", Tuners, &error))
        << error;
    EXPECT_FALSE(plan.HasStream());
}

TEST(SimReplayPlan, RefusesWhatItCannotReproduceAndSaysWhy) {
    const std::string tune = TuneLine(3, PlanTune(Network::IsdbT, 0, 1));
    struct Case {
        const char* Name;
        std::string Report, Calls, Tuners, Reason;
    } cases[] = {
        {"release DLL", Report, "", Tuners, "trace\\BonDriver_TesselBDA.dll"},
        {"release DLL, blank lines", Report, "\n\r\n  \n", Tuners, "made with the release DLL"},
        {"garbled line", Report, tune + "3 SetTuneRequest in=x00zz hr=0x00000000 out=\n", Tuners,
         "device-calls.txt line 2 is not a device call"},
        {"hidden length beyond bound", Report,
         tune + "4 TransmitCardCommand in=@5:0123456789abcdef,512 hr=0x00000000 out=@4294967295:"
                "0123456789abcdef:9000\n",
         Tuners, "line 2"},
        {"stream without a tune", "stream.ts: 1000 bytes\n", "0 SetTunerMode in=3 hr=0x00000000 out=\n",
         Tuners, "holds no tune for it"},
        {"tune of the wrong size", "stream.ts: 1000 bytes\n", "3 SetTuneRequest in=x0000 hr=0x00000000 out=\n",
         Tuners, "holds no tune for it"},
        {"named line beyond the file", Report, tune, Tuners, "names line 4"},
        {"named line 0", "stream.ts: 1000 bytes\nstream.ts tuned by: device-calls.txt line 0\n", tune,
         Tuners, "line 0"},
        {"huge line number", "stream.ts: 1000 bytes\nstream.ts tuned by: device-calls.txt line "
                             "99999999999999999999999\n",
         tune, Tuners, ""},
        {"too many tuners", Report, tune + tune + tune + tune, "", "more than 64 tuners"},
        {"name too long", Report, tune + tune + tune + tune,
         "1. " + std::string(SimReplayPlan::MaxNameLength + 1, 'n') + "\n", "longer than 1024"},
        {"text too large", Report, std::string(SimReplayPlan::MaxTextBytes + 1, '\n'), Tuners,
         "larger than 16 MiB"},
    };
    for (int i = 0; i < 70; ++i) cases[9].Tuners += std::to_string(i + 1) + ". tuner\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SimReplayPlan plan;
        std::string error;
        EXPECT_FALSE(plan.Read(c.Report, c.Calls, c.Tuners, &error));
        EXPECT_NE(error.find(c.Reason), std::string::npos) << error;
        EXPECT_FALSE(error.empty());
    }
}

// The report's stream on the tune the user's driver sent: every other
// channel silent, and the simulator's name for the channel (14ch) is never
// asked. A card answer whose hidden length exceeds the caller's buffer
// writes that buffer and no more.
TEST(SimReplayPlan, TheDevicePlaysTheStreamOnItsTuneAndBoundsTheReportsAnswers) {
    TsServiceInfo service;
    service.Name = "user";
    TsGenerator generator(service, 0);
    auto recording = std::make_shared<std::vector<uint8_t>>(TsGenerator::CycleLength * 16 * TsGenerator::PacketSize);
    generator.Generate(recording->data(), recording->size());
    auto sources = std::make_shared<SimChannelSources>();
    sources->Set(SimChannelSources::AnyChannel, SimChannelSource{SimSourceKind::Silent, "", nullptr});
    const TuneRequest user = PlanTune(Network::IsdbT, 0, 1);
    sources->Set(SimChannelSources::TuneKey(user), SimChannelSource{SimSourceKind::Replay, "", recording});
    sources->Set("14ch", SimChannelSource{SimSourceKind::Silent, "", nullptr});  // the tune wins

    SimState sim;
    SimDevice& device = *sim.Device(WIDE("\\\\?\\usb#replay"));
    sim.SetChannelSources(sources);
    const std::string answers =
        "1 TransmitCardCommand in=@5:0123456789abcdef,512 hr=0x00000000 out=@65536:0123456789abcdef:9000\n"
        "2 TransmitCardCommand in=@5:0123456789abcdef,512 hr=0x00000000 out=@12:0123456789abcdef:6a82\n";
    size_t read = 0;
    sim.SetAnswerScript(std::make_shared<SimAnswerScript>(SimAnswerScript::FromText(answers, &read)));
    EXPECT_EQ(read, 2u);

    std::vector<uint8_t> buffer(188 * 200);
    for (const TuneRequest& request : {PlanTune(Network::IsdbT, 0, 0), user}) {
        ASSERT_EQ(device.SetFrequency(&request.Tail), S_OK);
        ASSERT_EQ(device.SetTuneRequest(&request), S_OK);
        const size_t got = device.ReadTs(buffer.data(), buffer.size());
        if (request.Tail.Frequency != user.Tail.Frequency) {
            EXPECT_EQ(got, 0u) << "a channel the report did not record is silent";
            continue;
        }
        TsStreamChecker checker;
        checker.Feed(buffer.data(), got);
        EXPECT_EQ(checker.Packets(), 200u) << "the report's stream plays on its tune";
        EXPECT_TRUE(checker.Clean());
    }

    device.SetCardPresent(true);
    // A guard past the 512 bytes the device is given.
    std::vector<uint8_t> response(512 + 64, 0xEE);
    const uint8_t command[] = {0x90, 0x30, 0x00, 0x00, 0x00};
    ASSERT_EQ(device.TransmitCardCommand(command, sizeof command, response.data(), 512), S_OK);
    EXPECT_EQ(response[0] << 8 | response[1], 65534) << "the length the report says";
    EXPECT_TRUE(std::all_of(response.begin() + 512, response.end(), [](uint8_t b) { return b == 0xEE; }));
    ASSERT_EQ(device.TransmitCardCommand(command, sizeof command, response.data(), 512), S_OK);
    EXPECT_EQ(response[0] << 8 | response[1], 10);
    EXPECT_EQ(response[10], 0x6a);
    EXPECT_EQ(response[11], 0x82);
}
