// A network's NIT as the simulator sends it and a scan reads it: a long
// transport stream loop split over sections of at most 1024 bytes and over
// packets, read back whole in any order of arrival, and sections whose loops
// do not fit refused whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ts/TsCrc32.h"
#include "ts/TsNitSections.h"
#include "ts/TsNitTable.h"
#include "ts/TsSectionPackets.h"
#include "ts/TsServiceScanner.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t P = 188;

TsNitNetwork Network(size_t streams, size_t servicesEach) {
    TsNitNetwork network;
    network.NetworkId = 4;
    network.Version = 3;
    network.NameBytes = {0x0E, 'B', 'S'};
    for (size_t i = 0; i < streams; ++i) {
        TsNitStream stream;
        stream.Tsid = static_cast<uint16_t>(0x4010 + i);
        stream.OriginalNetworkId = 4;
        stream.HasSatellite = i % 7 != 6;  // some without a delivery descriptor
        stream.Satellite.FrequencyKHz = 11727480 + 19180 * static_cast<uint32_t>(i);
        stream.Satellite.Polarisation = static_cast<uint8_t>(i % 4);
        stream.Satellite.East = i % 2 == 0;
        stream.Satellite.SymbolRate = 288600 + static_cast<uint32_t>(i);
        for (size_t s = 0; s < servicesEach; ++s)
            stream.Services.push_back(TsNitService{static_cast<uint16_t>(100 * i + s), static_cast<uint8_t>(s)});
        network.Streams.push_back(stream);
    }
    return network;
}

void ExpectSame(const std::vector<TsNitStream>& want, const std::vector<TsNitStream>& got) {
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(want[i].Tsid, got[i].Tsid) << i;
        EXPECT_EQ(want[i].OriginalNetworkId, got[i].OriginalNetworkId) << i;
        ASSERT_EQ(want[i].HasSatellite, got[i].HasSatellite) << i;
        if (want[i].HasSatellite) {
            const TsSatelliteDelivery &a = want[i].Satellite, &b = got[i].Satellite;
            EXPECT_EQ(a.FrequencyKHz, b.FrequencyKHz) << i;
            EXPECT_EQ(a.OrbitalPosition, b.OrbitalPosition) << i;
            EXPECT_EQ(a.East, b.East) << i;
            EXPECT_EQ(a.Polarisation, b.Polarisation) << i;
            EXPECT_EQ(a.Modulation, b.Modulation) << i;
            EXPECT_EQ(a.SymbolRate, b.SymbolRate) << i;
            EXPECT_EQ(a.FecInner, b.FecInner) << i;
        }
        ASSERT_EQ(want[i].Services.size(), got[i].Services.size()) << i;
        for (size_t s = 0; s < want[i].Services.size(); ++s) {
            EXPECT_EQ(want[i].Services[s].ServiceId, got[i].Services[s].ServiceId);
            EXPECT_EQ(want[i].Services[s].ServiceType, got[i].Services[s].ServiceType);
        }
    }
}

// Packets of `sections` on the NIT PID with running counters from *cc.
Bytes Packets(const std::vector<Bytes>& sections, uint8_t* cc) {
    Bytes packets = TsSectionPackets::Build(0x0010, sections);
    for (size_t at = 0; at < packets.size(); at += P) TsSectionPackets::SetCounter(&packets[at], (*cc)++);
    return packets;
}

// Re-seals a section after an edit: section_length kept, CRC recomputed.
Bytes Sealed(Bytes section) {
    section.resize(section.size() - 4);
    const uint32_t crc = MpegCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
    return section;
}

}  // namespace

TEST(TsNitTable, LongLoopSpansSectionsAndPacketsAndReadsBackInAnyOrder) {
    const TsNitNetwork network = Network(120, 3);
    const std::vector<Bytes> sections = TsNitSections::Build(network);
    ASSERT_GE(sections.size(), 3u);
    for (size_t i = 0; i < sections.size(); ++i) {
        EXPECT_LE(sections[i].size(), TsNitSections::MaxSectionSize) << i;
        if (i + 1 < sections.size()) {
            EXPECT_GT(sections[i].size(), TsNitSections::MaxSectionSize - 40) << "filled before splitting: " << i;
        }
        EXPECT_EQ(i, sections[i][6]);
        EXPECT_EQ(sections.size() - 1, sections[i][7]);
        EXPECT_EQ(0u, MpegCrc32(sections[i].data(), sections[i].size()));
    }
    // Last section first, the first one twice: one table, every stream once, in announced order.
    std::vector<Bytes> arrival(sections.rbegin(), sections.rend());
    arrival.insert(arrival.begin() + 1, sections[0]);
    uint8_t cc = 0;
    const Bytes stream = Packets(arrival, &cc);
    TsServiceScanner scanner;
    for (size_t at = 0; at < stream.size(); at += 61) scanner.Feed(&stream[at], std::min<size_t>(61, stream.size() - at));
    const TsNitTable& nit = scanner.Nit();
    ASSERT_TRUE(nit.Complete());
    EXPECT_EQ(4, nit.NetworkId());
    EXPECT_EQ(3, nit.Version());
    EXPECT_EQ(sections.size(), nit.SectionsExpected());
    EXPECT_EQ(sections.size() + 1, nit.SectionsRead());
    EXPECT_EQ(0u, nit.Malformed() + nit.Restarts() + scanner.NitCrcErrors() + scanner.NitSectionsCut());
    ExpectSame(network.Streams, nit.Streams());
    EXPECT_TRUE(scanner.HasNetworkName());
    EXPECT_EQ("BS", scanner.NetworkName().Text);

    // A new version starts the table afresh: incomplete until all of it is in.
    TsNitNetwork next = network;
    next.Version = 4;
    next.Streams.resize(2);
    const Bytes update = Packets(TsNitSections::Build(next), &cc);
    TsNitTable table = nit;
    scanner.Feed(update.data(), update.size());
    ASSERT_TRUE(scanner.Nit().Complete());
    EXPECT_EQ(1u, scanner.Nit().Restarts());
    ExpectSame(next.Streams, scanner.Nit().Streams());
    // Part of a version: not complete, and what it holds is only its own.
    table.Section(TsNitSections::Build(next)[0].data(), TsNitSections::Build(next)[0].size());
    EXPECT_TRUE(table.Complete());
    const std::vector<Bytes> long4 = [&] {
        TsNitNetwork n = network;
        n.Version = 5;
        return TsNitSections::Build(n);
    }();
    table.Section(long4[1].data(), long4[1].size());
    EXPECT_FALSE(table.Complete());
    EXPECT_EQ(1u, table.SectionsHeld());
}

TEST(TsNitTable, SectionsWhoseLoopsDoNotFitAreRefusedWhole) {
    TsNitNetwork network = Network(3, 2);
    const Bytes good = TsNitSections::Build(network)[0];
    // Offsets in `good`: network descriptors length at 8 (5 bytes of name
    // descriptor follow), the stream loop length at 15, the first entry at 17.
    ASSERT_EQ(5, good[9]);
    const size_t loop = 15, entry = 17;
    struct Fault {
        const char* Name;
        size_t At;
        int Add;  // added to the byte at At
    };
    const Fault faults[] = {
        {"transport stream loop longer than its section", loop + 1, 40},
        {"network descriptor loop longer than its section", 9, 200},
        {"entry descriptor loop past the stream loop", entry + 5, 100},
        {"descriptor longer than its entry's loop", entry + 7, 50},
        {"section number above the last", 6, 1},
    };
    for (const Fault& fault : faults) {
        Bytes section = good;
        section[fault.At] = static_cast<uint8_t>(section[fault.At] + fault.Add);
        section = Sealed(section);
        TsNitTable table;
        EXPECT_EQ(TsNitTable::Parse::Malformed, table.Section(section.data(), section.size())) << fault.Name;
        EXPECT_FALSE(table.HasNetwork()) << fault.Name;
        EXPECT_EQ(1u, table.Malformed()) << fault.Name;
        EXPECT_TRUE(table.Streams().empty()) << fault.Name;
    }
    // A stream loop that stops short of the entries it cuts is malformed too:
    // the entry it ends in the middle of is never half read.
    Bytes shortLoop = good;
    shortLoop[loop + 1] = static_cast<uint8_t>(shortLoop[loop + 1] - 3);
    TsNitTable table;
    EXPECT_EQ(TsNitTable::Parse::Malformed, table.Section(Sealed(shortLoop).data(), shortLoop.size()));
    // A frequency that is not BCD: the stream is kept, without a delivery.
    Bytes badBcd = good;
    const size_t satellite = entry + 6 + 2 + 6;  // after the entry header and the 2-service list
    ASSERT_EQ(0x43, badBcd[satellite]);
    badBcd[satellite + 2] = 0xAB;
    badBcd = Sealed(badBcd);
    TsNitTable bcd;
    ASSERT_EQ(TsNitTable::Parse::Taken, bcd.Section(badBcd.data(), badBcd.size()));
    ASSERT_EQ(3u, bcd.Streams().size());
    EXPECT_FALSE(bcd.Streams()[0].HasSatellite);
    EXPECT_TRUE(bcd.Streams()[1].HasSatellite);
    // Other tables and the next version are no business of the actual NIT's.
    Bytes other = good;
    other[0] = 0x41;
    Bytes notYet = good;
    notYet[5] &= 0xFE;
    TsNitTable ignoring;
    EXPECT_EQ(TsNitTable::Parse::Ignored, ignoring.Section(Sealed(other).data(), other.size()));
    EXPECT_EQ(TsNitTable::Parse::Ignored, ignoring.Section(Sealed(notYet).data(), notYet.size()));
    EXPECT_EQ(0u, ignoring.Malformed() + ignoring.SectionsRead());
}
