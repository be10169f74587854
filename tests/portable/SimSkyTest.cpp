// The simulated satellites: the 2025 sky, the shipped 2025 channel file and
// the project's copy of the 2025 data say the same; a tune locks only where
// the sky carries the stream; every satellite stream, generated or replayed,
// carries its network's whole NIT with every stream's downlink.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "channels/ChannelFileParser.h"
#include "platform/WideText.h"
#include "sim/SimState.h"
#include "ts/TsGenerator.h"
#include "ts/TsNitSections.h"
#include "ts/TsServiceScanner.h"

namespace {

constexpr size_t P = 188;

struct DataRow {
    std::string Name;  // as the built-in plan would name it
    uint32_t IfKHz = 0, DownlinkKHz = 0;
    uint16_t Tsid = 0;
    uint32_t Space = 0;
};

std::string ReadFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.good()) << path;
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The data file's rows; "BS03_1" becomes "BS3/TS1" and "CS24" "ND24".
std::vector<DataRow> DataRows() {
    std::vector<DataRow> rows;
    std::istringstream lines(ReadFile(BDA_SKY_2025_TSV));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, ifText, downText, tsidText;
        fields >> name >> ifText >> downText >> tsidText;
        DataRow row;
        row.Space = name.compare(0, 2, "BS") == 0 ? 0 : 1;
        row.Name = row.Space == 0 ? "BS" + std::to_string(std::stoi(name.substr(2, 2))) + "/TS" + name.substr(5)
                                  : "ND" + name.substr(2);
        row.IfKHz = static_cast<uint32_t>(std::stoul(ifText));
        row.DownlinkKHz = static_cast<uint32_t>(std::stoul(downText));
        row.Tsid = static_cast<uint16_t>(std::stoul(tsidText, nullptr, 16));
        rows.push_back(row);
    }
    return rows;
}

std::string Utf8(const WideChar* text) {
    std::string out;
    AppendUtf8(&out, text, WideLength(text, 65));
    return out;
}

TuneRequest Request(uint32_t space, uint32_t downlinkKHz, uint16_t tsid) {
    const ChannelRow row{WIDE("x"), downlinkKHz, tsid};
    TuneRequest request{};
    FillTuneRequest(Network::IsdbS, space, row, &request);
    return request;
}

std::shared_ptr<SimChannelSources> Sky(SimSkyKind sky) {
    auto sources = std::make_shared<SimChannelSources>();
    sources->SetSky(sky);
    return sources;
}

// What `packets` packets of the device's stream say about themselves.
TsServiceScanner ReadBack(SimDevice& device, size_t packets, size_t* nitPackets = nullptr) {
    std::vector<uint8_t> stream(P * packets);
    stream.resize(device.ReadTs(stream.data(), stream.size()));
    TsServiceScanner scanner;
    scanner.Feed(stream.data(), stream.size());
    if (nitPackets != nullptr) {
        *nitPackets = 0;
        for (size_t at = 0; at + P <= stream.size() && at < P * TsGenerator::CycleLength; at += P)
            if (((stream[at + 1] & 0x1F) << 8 | stream[at + 2]) == TsGenerator::NitPid) ++*nitPackets;
    }
    return scanner;
}

}  // namespace

TEST(SimSky, The2025SkyTheShippedFileAndTheDataAgree) {
    const std::vector<DataRow> data = DataRows();
    ASSERT_EQ(50u, data.size());
    const std::string file = ReadFile(BDA_SATELLITE_2025_CHANNELS);
    ChannelList shipped;
    ChannelFileError error;
    ASSERT_TRUE(ChannelFileParser::Parse(reinterpret_cast<const uint8_t*>(file.data()), file.size(), Network::IsdbS,
                                         &shipped, &error))
        << error.Line << ": " << error.Message;
    ASSERT_EQ(2u, shipped.SpaceCount());
    EXPECT_EQ(38u, shipped.ChannelCount(0));
    EXPECT_EQ(12u, shipped.ChannelCount(1));
    uint32_t index[2] = {0, 0};
    for (const DataRow& row : data) {
        EXPECT_EQ(row.DownlinkKHz - LnbLocalOscillatorKHz, row.IfKHz) << row.Name;
        const uint32_t at = index[row.Space]++;
        const ChannelRow* sky = SimSky::Row(SimSkyKind::Year2025, row.Space, at);
        const ChannelRow* listed = shipped.Channel(row.Space, at);
        ASSERT_TRUE(sky != nullptr && listed != nullptr) << row.Name;
        EXPECT_EQ(row.Name, Utf8(sky->Name));
        EXPECT_EQ(row.Name, Utf8(listed->Name));
        EXPECT_EQ(row.DownlinkKHz, sky->Frequency) << row.Name;
        EXPECT_EQ(row.DownlinkKHz, listed->Frequency) << row.Name;
        EXPECT_EQ(row.Tsid, sky->Tsid) << row.Name;
        EXPECT_EQ(row.Tsid, listed->Tsid) << row.Name;
    }
    EXPECT_EQ(38u, SimSky::Count(SimSkyKind::Year2025, 0));
    EXPECT_EQ(12u, SimSky::Count(SimSkyKind::Year2025, 1));
    EXPECT_EQ(nullptr, SimSky::Row(SimSkyKind::Year2025, 0, 38));
    // The built-in plan reaches 39 of them; three of its rows are gone.
    std::vector<std::string> gone;
    for (uint32_t space = 0; space < 2; ++space)
        for (uint32_t i = 0; i < ChannelCount(Network::IsdbS, space); ++i) {
            const ChannelRow* row = LookupChannel(Network::IsdbS, space, i);
            bool found = false;
            for (const DataRow& on : data) found = found || (on.DownlinkKHz == row->Frequency && on.Tsid == row->Tsid);
            if (!found) gone.push_back(Utf8(row->Name));
        }
    EXPECT_EQ((std::vector<std::string>{"BS3/TS1", "BS23/TS1", "BS23/TS2"}), gone);
}

TEST(SimSky, TuneLocksOnlyWhereTheSkyCarriesTheStream) {
    SimState sim;
    SimDevice& device = *sim.Device(WIDE("sim:sky"));
    auto tune = [&](uint32_t space, uint32_t downlink, uint16_t tsid) {
        const TuneRequest request = Request(space, downlink, tsid);
        EXPECT_EQ(S_OK, device.SetTuneRequest(&request));
        SignalStatistics statistics{};
        EXPECT_EQ(S_OK, device.GetSignalStatistics(&statistics));
        uint8_t packet[P];
        const bool locked = device.State().HasChannel && device.ReadTs(packet, P) == P;
        EXPECT_EQ(locked, statistics.Level != 0);
        return locked;
    };
    sim.SetChannelSources(Sky(SimSkyKind::Year2025));
    EXPECT_FALSE(tune(0, 11765840, 0x4031)) << "the built-in BS3/TS1 is gone";
    EXPECT_TRUE(tune(0, 11765840, 0x4631));
    EXPECT_EQ("ＢＳ試験 BS3/TS1", SimServiceName(device.State().Channel));
    EXPECT_TRUE(tune(0, 12149440, 0x4973));
    EXPECT_FALSE(tune(1, 12149440, 0x4973)) << "a BS stream is not found as CS110";
    EXPECT_TRUE(tune(1, 12731000, 0x7180));
    sim.SetChannelSources(Sky(SimSkyKind::BuiltIn));
    EXPECT_TRUE(tune(0, 11765840, 0x4031));
    EXPECT_FALSE(tune(0, 11765840, 0x4631));
    sim.SetChannelSources(nullptr);  // no sources: the built-in sky
    EXPECT_FALSE(tune(0, 12149440, 0x4973));
    EXPECT_TRUE(tune(0, 12149440, 0x4772));
}

TEST(SimSky, EverySatelliteStreamAnnouncesItsWholeNetwork) {
    SimState sim;
    SimDevice& device = *sim.Device(WIDE("sim:nit"));
    for (SimSkyKind kind : {SimSkyKind::BuiltIn, SimSkyKind::Year2025}) {
        sim.SetChannelSources(Sky(kind));
        for (uint32_t space = 0; space < 2; ++space) {
            for (uint32_t index = 0; index < SimSky::Count(kind, space); ++index) {
                const ChannelRow& row = *SimSky::Row(kind, space, index);
                const std::string where = std::string(SimSky::Name(kind)) + " " + Utf8(row.Name);
                const TuneRequest request = Request(space, row.Frequency, row.Tsid);
                ASSERT_EQ(S_OK, device.SetTuneRequest(&request)) << where;
                const SimChannel channel = device.State().Channel;
                const uint16_t network = space == 0 ? 4 : ((row.Tsid >> 12) == 6 ? 6 : 7);
                EXPECT_EQ(network, channel.OriginalNetworkId) << where;
                size_t nitPackets = 0;
                const TsServiceScanner scanner = ReadBack(device, 2 * TsGenerator::CycleLength, &nitPackets);
                ASSERT_TRUE(scanner.Nit().Complete()) << where;
                EXPECT_EQ(0u, scanner.CrcErrors() + scanner.Discontinuities()) << where;
                EXPECT_EQ(network, scanner.Nit().NetworkId()) << where;
                // Exactly the sky's streams of this network, in order, each with its downlink.
                std::vector<const ChannelRow*> expected;
                for (uint32_t i = 0; i < SimSky::Count(kind, space); ++i)
                    if (SimSky::NetworkId(space, SimSky::Row(kind, space, i)->Tsid) == network)
                        expected.push_back(SimSky::Row(kind, space, i));
                const std::vector<TsNitStream> streams = scanner.Nit().Streams();
                ASSERT_EQ(expected.size(), streams.size()) << where;
                std::set<uint16_t> serviceIds;
                for (size_t i = 0; i < streams.size(); ++i) {
                    EXPECT_EQ(expected[i]->Tsid, streams[i].Tsid) << where;
                    EXPECT_EQ(network, streams[i].OriginalNetworkId) << where;
                    ASSERT_TRUE(streams[i].HasSatellite) << where;
                    EXPECT_EQ(expected[i]->Frequency, streams[i].Satellite.FrequencyKHz) << where;
                    EXPECT_EQ(space == 0 ? 3 : 2, streams[i].Satellite.Polarisation) << where;
                    ASSERT_EQ(1u, streams[i].Services.size()) << where;
                    serviceIds.insert(streams[i].Services[0].ServiceId);
                    if (streams[i].Tsid == row.Tsid) {  // its own entry names the service its SDT carries
                        ASSERT_TRUE(scanner.HasSdt()) << where;
                        ASSERT_EQ(1u, scanner.Services().size()) << where;
                        EXPECT_EQ(scanner.Services()[0].ServiceId, streams[i].Services[0].ServiceId) << where;
                    }
                }
                EXPECT_EQ(streams.size(), serviceIds.size()) << where;
                // Sections within their limit; BS's long loop spans packets.
                for (const std::vector<uint8_t>& section : TsGenerator::NitSections(SimServiceInfo(channel)))
                    EXPECT_LE(section.size(), TsNitSections::MaxSectionSize) << where;
                if (space == 0) {
                    EXPECT_GE(nitPackets, 4u) << where;
                } else {
                    EXPECT_GE(nitPackets, 1u) << where;
                }
            }
        }
    }
}

TEST(SimSky, ReplayedRecordingCarriesTheSkysNit) {
    // A recording of a terrestrial channel, replayed on a 2025-only BS stream.
    TsServiceInfo recorded;
    recorded.Tsid = 0x7FFF;
    recorded.ServiceId = 0x0500;
    TsGenerator generator(recorded, 0);
    auto recording = std::make_shared<std::vector<uint8_t>>(P * 600);
    generator.Generate(recording->data(), recording->size());
    auto sources = Sky(SimSkyKind::Year2025);
    SimChannelSource replay;
    replay.Kind = SimSourceKind::Replay;
    replay.Recording = recording;
    sources->Set("BS1/TS2", replay);
    SimState sim;
    sim.SetChannelSources(sources);
    SimDevice& device = *sim.Device(WIDE("sim:replay"));
    const TuneRequest request = Request(0, 11727480, 0x4012);
    ASSERT_EQ(S_OK, device.SetTuneRequest(&request));
    const TsServiceScanner scanner = ReadBack(device, 1200);
    EXPECT_EQ(0x4012, scanner.TransportStreamId());
    ASSERT_TRUE(scanner.Nit().Complete());
    EXPECT_EQ(4, scanner.Nit().NetworkId());
    EXPECT_EQ(38u, scanner.Nit().Streams().size());
    EXPECT_EQ(0u, scanner.CrcErrors() + scanner.Discontinuities());
    ASSERT_EQ(1u, scanner.Services().size());
    EXPECT_EQ(0x0500, scanner.Services()[0].ServiceId) << "the recording's program";
}
