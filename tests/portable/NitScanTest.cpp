// bonhost scan --nit's logic (NitChannels) over the simulated tuner, without
// Windows: rows are tuned on the portable device model and read through the
// service scanner as bonhost reads them. On the 2025 sky the built-in list
// becomes the 50 streams of the shipped 2025 file; on the built-in sky it
// stays itself; and NITs that arrive cut, repeated, with a bad CRC or with
// a loop longer than their section never give a file that is broken or
// loses what locks, and the readings say what arrived.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "channels/ChannelFileParser.h"
#include "platform/WideText.h"
#include "sim/SimState.h"
#include "tools/bonhost/NitChannels.h"
#include "ts/TsCrc32.h"
#include "ts/TsNitSections.h"
#include "ts/TsSectionPackets.h"
#include "ts/TsServiceScanner.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t P = 188;
constexpr uint16_t NitPid = 0x0010;

std::string Utf8(const WideChar* text) {
    std::string out;
    AppendUtf8(&out, text, WideLength(text, 65));
    return out;
}

// What a NIT fault does to the sections of one round of the BS NIT, and to
// which BS rows: the round's packets are built from the sections it returns.
struct NitFault {
    const char* Name;
    std::function<std::vector<Bytes>(const std::vector<Bytes>&)> Round;
    bool CutLastPacket = false;     // every section loses its last packet (counters run on)
    bool FirstRowOnly = false;      // only BS1/TS0 sends it; the other rows send the NIT whole
    bool BsFromNit = true;          // the file's BS rows are the NIT's 38 (else the 30 kept)
    const char* Reading = nullptr;  // what BS1/TS0's reading says
};

Bytes Sealed(Bytes section) {
    section.resize(section.size() - 4);
    const uint32_t crc = MpegCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
    return section;
}

class NitScan : public ::testing::Test {
protected:
    void UseSky(SimSkyKind sky, const std::vector<std::string>& silent = {}) {
        auto sources = std::make_shared<SimChannelSources>();
        sources->SetSky(sky);
        SimChannelSource quiet;
        quiet.Kind = SimSourceKind::Silent;
        for (const std::string& channel : silent) sources->Set(channel, quiet);
        sim_.SetChannelSources(sources);
    }

    // The BS NIT of the current stream in two sections of several packets
    // each (six services a stream make its loop too long for one), as the
    // faults start from.
    static std::vector<Bytes> TwoSectionNit(const SimChannel& channel) {
        TsServiceInfo info = SimServiceInfo(channel);
        for (TsNitStream& stream : info.NetworkStreams)
            for (uint16_t extra = 1; extra <= 5; ++extra)
                stream.Services.push_back(TsNitService{static_cast<uint16_t>(0x0800 + extra), 0xC0});
        const std::vector<Bytes> sections = TsGenerator::NitSections(info);
        EXPECT_EQ(2u, sections.size());
        return sections;
    }

    // The row as bonhost's scan reads it: tune, three generator cycles of
    // TS (its NIT packets replaced when a fault applies), the scanner's findings.
    ScanRow Scan(const ChannelList& plan, uint32_t space, uint32_t channel, const NitFault* fault) {
        ScanRow row;
        row.Space = space;
        row.SpaceName = Utf8(plan.SpaceName(space));
        row.Channel = channel;
        row.ChannelName = Utf8(plan.Channel(space, channel)->Name);
        TuneRequest request{};
        plan.FillTuneRequest(space, channel, &request);
        row.Tuned = SUCCEEDED(device_.SetTuneRequest(&request));
        Bytes stream(P * 3 * TsGenerator::CycleLength);
        stream.resize(device_.ReadTs(stream.data(), stream.size()));
        row.Locked = !stream.empty();
        ++tuned_;
        const bool hit = fault != nullptr && space == 0 && (!fault->FirstRowOnly || channel == 0);
        if (fault != nullptr && space == 0 && row.Locked)
            stream = WithNit(stream, hit ? fault : nullptr, TwoSectionNit(device_.State().Channel));
        TsServiceScanner scanner;
        scanner.Feed(stream.data(), stream.size());
        row.HasTsid = scanner.HasPat();
        row.Tsid = scanner.TransportStreamId();
        row.Nit = scanner.Nit();
        row.NitCrcErrors = scanner.NitCrcErrors();
        row.NitSectionsCut = scanner.NitSectionsCut();
        return row;
    }

    // `stream` with its NIT packets replaced by three rounds of `sections`
    // (as `fault` makes them), counters running on.
    static Bytes WithNit(const Bytes& stream, const NitFault* fault, const std::vector<Bytes>& sections) {
        Bytes out;
        for (size_t at = 0; at < stream.size(); at += P)
            if (((stream[at + 1] & 0x1F) << 8 | stream[at + 2]) != NitPid)
                out.insert(out.end(), stream.begin() + at, stream.begin() + at + P);
        uint8_t cc = 0;
        for (int round = 0; round < 3; ++round) {
            for (const Bytes& section : fault != nullptr ? fault->Round(sections) : sections) {
                Bytes packets = TsSectionPackets::Build(NitPid, {section});
                if (fault != nullptr && fault->CutLastPacket) packets.resize(packets.size() - P);
                for (size_t at = 0; at < packets.size(); at += P) TsSectionPackets::SetCounter(&packets[at], cc++);
                out.insert(out.end(), packets.begin(), packets.end());
            }
        }
        return out;
    }

    // The --nit scan as BonhostScanner::ScanByNit runs it.
    void ScanByNit(const ChannelList& plan, NitChannels* nit, const NitFault* fault = nullptr) {
        for (uint32_t space = 0; space < plan.SpaceCount(); ++space)
            for (uint32_t channel = 0; channel < plan.ChannelCount(space); ++channel)
                if (!nit->Announced(space, channel)) nit->Take(Scan(plan, space, channel, fault));
    }

    // Composes, and holds the text to loading as exactly the list composed.
    static ChannelList Composed(const NitChannels& nit, std::vector<std::string>* notes) {
        std::string text;
        ChannelList list;
        EXPECT_TRUE(nit.Compose(&text, &list, notes));
        ChannelList loaded;
        ChannelFileError error;
        EXPECT_TRUE(ChannelFileParser::Parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                             Network::IsdbS, &loaded, &error))
            << error.Line << ": " << error.Message;
        EXPECT_TRUE(loaded == list);
        return loaded;
    }

    static ChannelList Shipped2025() {
        std::ifstream file(BDA_SATELLITE_2025_CHANNELS, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ChannelList list;
        ChannelFileError error;
        EXPECT_TRUE(ChannelFileParser::Parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                             Network::IsdbS, &list, &error));
        return list;
    }

    static bool Contains(const std::vector<std::string>& lines, const std::string& text) {
        for (const std::string& line : lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    SimState sim_;
    SimDevice& device_ = *sim_.Device(WIDE("sim:nit-scan"));
    size_t tuned_ = 0;
};

}  // namespace

TEST_F(NitScan, On2025SkyTheBuiltInListBecomesTheShippedFileAndBack) {
    UseSky(SimSkyKind::Year2025);
    const ChannelList builtIn = ChannelList::BuiltIn(Network::IsdbS);
    NitChannels nit(builtIn);
    ScanByNit(builtIn, &nit);
    // BS1/TS0 gives BS's NIT; the three rows it does not announce are tried
    // in vain; ND2 and ND4 give CS110's two networks.
    EXPECT_EQ(6u, tuned_);
    std::vector<std::string> notes;
    const ChannelList written = Composed(nit, &notes);
    EXPECT_TRUE(written == Shipped2025());
    EXPECT_EQ(3u, notes.size());
    for (const char* gone : {"BS3/TS1 (11765840 kHz, TSID 0x4031)", "BS23/TS1 (12149440 kHz, TSID 0x4771)",
                             "BS23/TS2 (12149440 kHz, TSID 0x4772)"})
        EXPECT_TRUE(Contains(notes, std::string("left out: ") + gone)) << gone;
    EXPECT_TRUE(Contains(nit.Readings(), "BS BS1/TS0: NIT of network 4, version 0 (1 section): 38 transport streams"));
    EXPECT_TRUE(Contains(nit.Readings(), "CS110 ND2: NIT of network 6, version 0 (1 section): 3 transport streams"));
    EXPECT_TRUE(Contains(nit.Readings(), "CS110 ND4: NIT of network 7, version 0 (1 section): 9 transport streams"));
    EXPECT_TRUE(Contains(nit.Readings(), "BS BS3/TS1: no stream"));

    // With the 2025 file, a scan finds nothing new; on the built-in sky the
    // built-in list comes back as it is.
    NitChannels again(written);
    tuned_ = 0;
    ScanByNit(written, &again);
    EXPECT_EQ(3u, tuned_);
    notes.clear();
    EXPECT_TRUE(Composed(again, &notes) == written);
    EXPECT_TRUE(notes.empty());
    UseSky(SimSkyKind::BuiltIn);
    NitChannels back(builtIn);
    ScanByNit(builtIn, &back);
    notes.clear();
    EXPECT_TRUE(Composed(back, &notes) == builtIn);
    EXPECT_TRUE(notes.empty());
}

TEST_F(NitScan, PlainScanComparesTheListWithTheNits) {
    UseSky(SimSkyKind::Year2025);
    const ChannelList builtIn = ChannelList::BuiltIn(Network::IsdbS);
    std::vector<ScanRow> rows;
    for (uint32_t space = 0; space < 2; ++space)
        for (uint32_t channel = 0; channel < builtIn.ChannelCount(space); ++channel)
            rows.push_back(Scan(builtIn, space, channel, nullptr));
    EXPECT_EQ("NIT: 0 of the 39 locked rows are not in their network's NIT, and the NITs announce 11 transport "
              "streams the channel list lacks; bonhost scan --nit --write-channels FILE writes a channel file of "
              "what the satellites announce\n",
              NitChannels::Comparison(rows, builtIn));
    // A list that names a stream on the wrong transponder: it still locks
    // (the tuner finds the TSID), but its network's NIT does not list it so.
    const std::string file = "BS, BS1/TS0, 11727480, 0x4010\nBS, odd, 11727480, 0x4030\nCS110, ND2, 12291000, 0x6020\n";
    ChannelList odd;
    ChannelFileError error;
    ASSERT_TRUE(ChannelFileParser::Parse(reinterpret_cast<const uint8_t*>(file.data()), file.size(), Network::IsdbS,
                                         &odd, &error));
    std::vector<ScanRow> oddRows = {Scan(odd, 0, 0, nullptr), Scan(odd, 0, 1, nullptr), Scan(odd, 1, 0, nullptr)};
    oddRows[1].Locked = true;  // as if a tuner locked on it all the same
    oddRows[1].Nit = oddRows[0].Nit;
    EXPECT_EQ(0u, NitChannels::Comparison(oddRows, odd).find("NIT: 1 of the 3 locked rows are not in their network's "
                                                              "NIT, and the NITs announce 39 transport streams"));
    UseSky(SimSkyKind::BuiltIn);
    rows.clear();
    for (uint32_t channel = 0; channel < builtIn.ChannelCount(1); ++channel)
        rows.push_back(Scan(builtIn, 1, channel, nullptr));
    EXPECT_EQ(0u, NitChannels::Comparison(rows, builtIn).find("NIT: every locked row is in its network's NIT"));
    EXPECT_EQ("", NitChannels::Comparison(rows, ChannelList::BuiltIn(Network::IsdbT)));
}

TEST_F(NitScan, FaultyNitsNeverGiveABrokenFileAndSayWhatArrived) {
    const auto same = [](const std::vector<Bytes>& sections) { return sections; };
    const NitFault faults[] = {
        {"whole, in two sections, each sent twice",
         [](const std::vector<Bytes>& s) { return std::vector<Bytes>{s[0], s[0], s[1], s[1]}; }, false, false, true,
         "BS BS1/TS0: NIT of network 4, version 0 (2 sections): 38 transport streams"},
        // Three rounds of two sections, each cut short by the next one's start;
        // the last is still under way when the read ends.
        {"sections cut short on every BS stream", same, true, false, false,
         "no NIT section arrived whole; NIT sections 5 cut short"},
        {"section 0 repeated, section 1 never sent",
         [](const std::vector<Bytes>& s) { return std::vector<Bytes>{s[0], s[0]}; }, false, false, false,
         "no whole NIT: 1 of 2 sections of network 4, version 0"},
        {"bad CRC on every BS stream",
         [](std::vector<Bytes> s) {
             for (Bytes& section : s) section[40] ^= 0x10;
             return s;
         },
         false, false, false, "no NIT section arrived whole; NIT sections 6 refused for their CRC"},
        {"bad CRC on BS1/TS0 only, the next row sends it whole",
         [](std::vector<Bytes> s) {
             s[1][40] ^= 0x10;
             return s;
         },
         false, true, true, "no whole NIT: 1 of 2 sections of network 4, version 0; NIT sections 3 refused for their CRC"},
        {"a transport stream loop longer than its section",
         [](std::vector<Bytes> s) {
             const size_t loop = 10 + (((s[1][8] & 0x0F) << 8) | s[1][9]);
             s[1][loop + 1] = static_cast<uint8_t>(s[1][loop + 1] + 30);
             s[1] = Sealed(s[1]);
             return s;
         },
         false, false, false, "no whole NIT: 1 of 2 sections of network 4, version 0; NIT sections 3 malformed"},
    };
    UseSky(SimSkyKind::Year2025);
    const ChannelList builtIn = ChannelList::BuiltIn(Network::IsdbS);
    const ChannelList shipped = Shipped2025();
    for (const NitFault& fault : faults) {
        SCOPED_TRACE(fault.Name);
        NitChannels nit(builtIn);
        ScanByNit(builtIn, &nit, &fault);
        std::vector<std::string> notes;
        const ChannelList written = Composed(nit, &notes);
        ASSERT_EQ(2u, written.SpaceCount());
        EXPECT_TRUE(Contains(nit.Readings(), fault.Reading)) << nit.Readings()[0];
        // CS110 is untouched by the faults: its streams come from its NITs.
        ASSERT_EQ(12u, written.ChannelCount(1));
        for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(shipped.Channel(1, i)->Tsid, written.Channel(1, i)->Tsid);
        if (fault.BsFromNit) {
            EXPECT_TRUE(written == shipped);
            continue;
        }
        // No whole NIT of BS: its rows stay as they are, even the three that do not lock.
        EXPECT_TRUE(Contains(notes, "BS: no NIT was read whole, so its 30 rows are kept as they are"));
        ASSERT_EQ(30u, written.ChannelCount(0));
        for (uint32_t i = 0; i < 30; ++i) {
            EXPECT_EQ(Utf8(builtIn.Channel(0, i)->Name), Utf8(written.Channel(0, i)->Name));
            EXPECT_EQ(builtIn.Channel(0, i)->Tsid, written.Channel(0, i)->Tsid);
        }
        EXPECT_EQ(30u, std::count_if(nit.Readings().begin(), nit.Readings().end(),
                                     [](const std::string& line) { return line.compare(0, 3, "BS ") == 0; }))
            << "every BS row was tried for a NIT";
    }
}

TEST_F(NitScan, SpaceWhereNothingLocksKeepsItsRows) {
    std::vector<std::string> silent;
    for (uint32_t i = 0; i < ChannelCount(Network::IsdbS, 1); ++i)
        silent.push_back(Utf8(LookupChannel(Network::IsdbS, 1, i)->Name));
    UseSky(SimSkyKind::Year2025, silent);
    const ChannelList builtIn = ChannelList::BuiltIn(Network::IsdbS);
    NitChannels nit(builtIn);
    ScanByNit(builtIn, &nit);
    std::vector<std::string> notes;
    const ChannelList written = Composed(nit, &notes);
    EXPECT_TRUE(Contains(notes, "CS110: no row locked, so its 12 rows are kept as they are"));
    ASSERT_EQ(2u, written.SpaceCount());
    EXPECT_EQ(38u, written.ChannelCount(0));
    ASSERT_EQ(12u, written.ChannelCount(1));
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(Utf8(builtIn.Channel(1, i)->Name), Utf8(written.Channel(1, i)->Name));
    SimChannelSource quiet;
    quiet.Kind = SimSourceKind::Silent;
    auto dark = std::make_shared<SimChannelSources>();
    dark->Set(SimChannelSources::AnyChannel, quiet);
    sim_.SetChannelSources(dark);
    NitChannels empty(builtIn);
    ScanByNit(builtIn, &empty);
    std::string text;
    ChannelList list;
    notes.clear();
    // Both spaces keep their rows: a scan that receives nothing changes nothing.
    ASSERT_TRUE(empty.Compose(&text, &list, &notes));
    EXPECT_TRUE(list == builtIn);
    // Nothing to keep and nothing announced: no file.
    const ChannelList nothing(Network::IsdbS);
    NitChannels blank(nothing);
    EXPECT_FALSE(blank.Compose(&text, &list, &notes));
    EXPECT_TRUE(Contains(notes, "nothing to write"));
}

TEST(NitChannelNames, FollowTheBuiltInPlan) {
    const auto name = [](bool bs, uint32_t frequency, uint16_t tsid, uint32_t rank, uint32_t on) {
        const ChannelString text = NitChannels::StreamName(bs, frequency, tsid, rank, on);
        return std::string(text.begin(), text.end());
    };
    EXPECT_EQ("BS15/TS0", name(true, 11996000, 0x40F1, 0, 3));
    EXPECT_EQ("BS23/TS3", name(true, 12149440, 0x4973, 3, 4));
    EXPECT_EQ("BS9/TS0", name(true, 11880920 + 5, 0x4090, 0, 1)) << "off the raster: the TSID's transponder";
    EXPECT_EQ("ND24", name(false, 12731000, 0x7180, 0, 1));
    EXPECT_EQ("ND2/TS1", name(false, 12291000, 0x6021, 1, 2)) << "a second stream on a CS110 transponder";
}
