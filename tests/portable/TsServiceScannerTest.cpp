// What a scan reads from a stream: the simulator's every channel round trip
// through the generator, sections spread over and sharing packets as a real
// multiplexer sends them, and damage that must cost only the section it hits.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "channels/ChannelPlan.h"
#include "sim/SimChannel.h"
#include "ts/AribText.h"
#include "ts/TsCrc32.h"
#include "ts/TsGenerator.h"
#include "ts/TsServiceScanner.h"

namespace {

constexpr size_t P = 188;
using Bytes = std::vector<uint8_t>;

// Feeds `stream` in chunks of 1..600 bytes drawn from `seed`.
void FeedInChunks(TsServiceScanner& scanner, const Bytes& stream, uint32_t seed) {
    for (size_t at = 0; at < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const size_t take = std::min<size_t>(1 + (seed >> 16) % 600, stream.size() - at);
        scanner.Feed(stream.data() + at, take);
        at += take;
    }
}

void Put16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

Bytes Encoded(const std::string& text) {
    Bytes bytes;
    EXPECT_TRUE(AribText::Encode(text, &bytes)) << text;
    return bytes;
}

Bytes LongSection(uint8_t table, uint16_t extension, uint8_t version, uint8_t number, uint8_t last,
                  const Bytes& body) {
    Bytes section = {table, 0xF0, 0};
    Put16(section, extension);
    section.push_back(static_cast<uint8_t>(0xC1 | (version << 1)));
    section.push_back(number);
    section.push_back(last);
    section.insert(section.end(), body.begin(), body.end());
    const size_t length = section.size() - 3 + 4;
    section[1] = static_cast<uint8_t>(0xF0 | (length >> 8));
    section[2] = static_cast<uint8_t>(length);
    const uint32_t crc = MpegCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
    return section;
}

// One SDT service entry with a service_descriptor; `overrun` makes its
// descriptor loop claim more bytes than the section holds.
void PutService(Bytes& body, uint16_t id, const Bytes& provider, const Bytes& name, bool overrun = false) {
    Put16(body, id);
    body.push_back(0xFC);
    const size_t loop = 2 + 3 + provider.size() + name.size();
    Put16(body, (4u << 13) | static_cast<uint32_t>(loop + (overrun ? 50 : 0)));
    body.push_back(0x48);
    body.push_back(static_cast<uint8_t>(loop - 2));
    body.push_back(0x01);
    body.push_back(static_cast<uint8_t>(provider.size()));
    body.insert(body.end(), provider.begin(), provider.end());
    body.push_back(static_cast<uint8_t>(name.size()));
    body.insert(body.end(), name.begin(), name.end());
}

// Sections back to back in packets of `pid`, as a multiplexer sends them: a
// packet in which a section starts carries a pointer_field to the first such
// start, and 0xFF fills the rest of the last packet.
Bytes Packetize(uint16_t pid, const std::vector<Bytes>& sections, uint8_t* cc) {
    Bytes data;
    std::vector<size_t> starts;
    for (const Bytes& section : sections) {
        starts.push_back(data.size());
        data.insert(data.end(), section.begin(), section.end());
    }
    Bytes out;
    for (size_t at = 0, next = 0; at < data.size();) {
        while (next < starts.size() && starts[next] < at) ++next;
        const bool unitStart = next < starts.size() && starts[next] < at + 183;
        EXPECT_FALSE(!unitStart && next < starts.size() && starts[next] == at + 183) << "no pointer reaches";
        Bytes packet = {0x47, static_cast<uint8_t>((unitStart ? 0x40 : 0) | (pid >> 8)),
                        static_cast<uint8_t>(pid), static_cast<uint8_t>(0x10 | (*cc)++ % 16)};
        if (unitStart) packet.push_back(static_cast<uint8_t>(starts[next] - at));
        const size_t take = std::min(P - packet.size(), data.size() - at);
        packet.insert(packet.end(), data.begin() + at, data.begin() + at + take);
        packet.resize(P, 0xFF);
        out.insert(out.end(), packet.begin(), packet.end());
        at += take;
    }
    return out;
}

Bytes PacketAt(const Bytes& stream, size_t index) {
    return Bytes(stream.begin() + index * P, stream.begin() + (index + 1) * P);
}

// An SDT of two sections: the first spans three packets, the second starts
// inside the first's last packet.
struct TwoSectionSdt {
    Bytes First, Second;
};

TwoSectionSdt BuildSdt(uint8_t version) {
    Bytes first, second;
    Put16(first, 0x0004);  // original_network_id
    first.push_back(0xFF);
    second = first;
    for (uint16_t i = 0; i < 12; ++i)
        PutService(first, static_cast<uint16_t>(0x0200 + i), Encoded("東京テスト放送"),
                   Encoded("サービス" + std::to_string(i) + "番"));
    PutService(second, 0x0101, Encoded("局"), Encoded("Ｖ" + std::to_string(version)));
    PutService(second, 0x0100, Bytes{0x0E, 0x41}, Bytes{0x1B, 0x28, 0x32, 0x21});  // a mosaic name
    PutService(second, 0x0102, Encoded("局"), Encoded("cut"), true);
    return {LongSection(0x42, 0x4031, version, 0, 1, first),
            LongSection(0x42, 0x4031, version, 1, 1, second)};
}

}  // namespace

TEST(TsServiceScannerTest, EveryChannelOfThePlanReadsBackInAnyChunking) {
    std::set<std::string> names;
    uint32_t seed = 1;
    for (Network network : {Network::IsdbT, Network::IsdbS}) {
        for (uint32_t space = 0; space < 2; ++space) {
            for (uint32_t index = 0; index < ChannelCount(network, space); ++index) {
                TuneRequest request;
                FillTuneRequest(network, space, *LookupChannel(network, space, index), &request);
                SimChannel channel;
                ASSERT_TRUE(ResolveSimChannel(request, &channel));
                const TsServiceInfo info = SimServiceInfo(channel);  // satellites: a NIT of several packets
                TsGenerator generator(info, 0);
                Bytes stream(P * 250);  // PAT, SDT and NIT three times each
                generator.Generate(stream.data(), stream.size());

                TsServiceScanner scanner;
                FeedInChunks(scanner, stream, seed++);
                const std::string where = info.Name;
                EXPECT_EQ(250u, scanner.Packets()) << where;
                EXPECT_EQ(9u, scanner.Sections()) << where;
                EXPECT_EQ(0u, scanner.CrcErrors() + scanner.Discontinuities() + scanner.SyncLosses())
                    << where;
                EXPECT_EQ(channel.Tsid, scanner.TransportStreamId()) << where;
                ASSERT_TRUE(scanner.HasSdt()) << where;
                EXPECT_EQ(channel.Tsid, scanner.SdtTransportStreamId()) << where;
                EXPECT_EQ(channel.OriginalNetworkId, scanner.OriginalNetworkId()) << where;
                const std::vector<TsScannedService> services = scanner.Services();
                ASSERT_EQ(1u, services.size()) << where;
                EXPECT_EQ(channel.ServiceId, services[0].ServiceId) << where;
                EXPECT_EQ(0x01, services[0].ServiceType) << where;
                EXPECT_TRUE(services[0].Name.Decoded && services[0].Provider.Decoded) << where;
                EXPECT_EQ(info.Name, services[0].Name.Text) << where;
                EXPECT_EQ("てっせる放送", services[0].Provider.Text) << where;
                ASSERT_TRUE(scanner.HasNit() && scanner.HasNetworkName()) << where;
                EXPECT_EQ(channel.OriginalNetworkId, scanner.NetworkId()) << where;
                EXPECT_EQ(info.NetworkName, scanner.NetworkName().Text) << where;
                EXPECT_TRUE(scanner.Nit().Complete()) << where;
                names.insert(services[0].Name.Text);
            }
        }
    }
    EXPECT_EQ(50u + 63u + 30u + 12u, names.size());  // every channel names itself
    EXPECT_TRUE(names.count("地デジ試験 13ch") && names.count("ケーブル試験 C63ch") &&
                names.count("ＢＳ試験 BS23/TS2") && names.count("ＣＳ試験 ND2"));
}

TEST(TsServiceScannerTest, SectionsSpreadOverAndSharingPacketsMakeOneTable) {
    uint8_t cc = 0;
    const TwoSectionSdt sdt = BuildSdt(0);
    TsServiceScanner scanner;
    const Bytes firstOnly = Packetize(0x0011, {sdt.First}, &cc);
    ASSERT_EQ(3 * P, firstOnly.size());
    scanner.Feed(firstOnly.data(), firstOnly.size());
    EXPECT_FALSE(scanner.HasSdt());  // section 1 of 1 still missing
    EXPECT_EQ(12u, scanner.Services().size());

    const Bytes both = Packetize(0x0011, {sdt.First, sdt.Second}, &cc);
    ASSERT_EQ(3 * P, both.size());
    EXPECT_EQ(0x40, both[2 * P + 1] & 0x40);  // the second section starts in the first's last packet
    EXPECT_GT(both[2 * P + 4], 0);
    FeedInChunks(scanner, both, 7);
    ASSERT_TRUE(scanner.HasSdt());
    EXPECT_EQ(0x0004, scanner.OriginalNetworkId());
    const std::vector<TsScannedService> services = scanner.Services();
    ASSERT_EQ(14u, services.size());  // the entry that overruns its section is not read
    EXPECT_EQ(0x0100, services[0].ServiceId);
    EXPECT_FALSE(services[0].Name.Decoded);
    EXPECT_EQ("1B 28 32 21", services[0].Name.Text);
    EXPECT_EQ("A", services[0].Provider.Text);
    EXPECT_EQ("Ｖ0", services[1].Name.Text);
    EXPECT_EQ(0x020B, services.back().ServiceId);
    EXPECT_EQ("サービス11番", services.back().Name.Text);
    EXPECT_EQ("東京テスト放送", services.back().Provider.Text);

    // A new version replaces the table: until all of it arrives it is incomplete.
    const Bytes next = Packetize(0x0011, {BuildSdt(1).Second}, &cc);
    scanner.Feed(next.data(), next.size());
    EXPECT_FALSE(scanner.HasSdt());
    ASSERT_EQ(2u, scanner.Services().size());
    EXPECT_EQ("Ｖ1", scanner.Services()[1].Name.Text);
    EXPECT_EQ(4u, scanner.Sections());
    EXPECT_EQ(0u, scanner.CrcErrors() + scanner.Discontinuities());
}

TEST(TsServiceScannerTest, DamageCostsOnlyTheSectionItHits) {
    uint8_t cc = 0, nitCc = 0;
    const Bytes name = Encoded("テスト網");
    Bytes nitBody;
    Put16(nitBody, 0xF000u | static_cast<uint32_t>(2 + name.size()));
    nitBody.push_back(0x40);
    nitBody.push_back(static_cast<uint8_t>(name.size()));
    nitBody.insert(nitBody.end(), name.begin(), name.end());
    Put16(nitBody, 0xF000);
    const Bytes nit = LongSection(0x40, 0x0004, 0, 0, 0, nitBody);
    const TwoSectionSdt sdt = BuildSdt(0);

    Bytes stream;
    auto append = [&stream](const Bytes& bytes) {
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    };
    Bytes lost = Packetize(0x0011, {sdt.First}, &cc);  // its middle packet never arrives
    lost.erase(lost.begin() + P, lost.begin() + 2 * P);
    append(lost);
    Bytes corrupt = Packetize(0x0011, {sdt.First}, &cc);
    corrupt[P + 100] ^= 0x01;
    append(corrupt);
    Bytes cut = Packetize(0x0011, {sdt.First}, &cc);  // ends early, the counter runs on
    cut.resize(2 * P);
    --cc;
    append(cut);
    append(Packetize(0x0010, {nit}, &nitCc));
    append({0x00, 0x12, 0x34});  // garbage between packets
    const Bytes good = Packetize(0x0011, {sdt.First, sdt.Second}, &cc);
    append(PacketAt(good, 0));
    append(PacketAt(good, 0));  // sent twice: the copy is ignored
    append(Bytes(good.begin() + P, good.end()));
    Bytes badPointer = PacketAt(good, 0);  // a unit start whose pointer leaves the packet
    badPointer[3] = static_cast<uint8_t>(0x10 | cc++ % 16);
    badPointer[4] = 200;
    append(badPointer);
    Bytes swapped = Packetize(0x0011, {sdt.First}, &cc);  // the last two packets change places
    std::swap_ranges(swapped.begin() + P, swapped.begin() + 2 * P, swapped.begin() + 2 * P);
    append(swapped);

    TsServiceScanner scanner;
    FeedInChunks(scanner, stream, 3);
    EXPECT_EQ(1u, scanner.SyncLosses());
    EXPECT_EQ(3u, scanner.Discontinuities());  // one lost, two swapped
    EXPECT_EQ(1u, scanner.CrcErrors());
    EXPECT_EQ(3u, scanner.Sections());  // the NIT and the whole SDT
    ASSERT_TRUE(scanner.HasSdt());
    EXPECT_EQ(14u, scanner.Services().size());
    ASSERT_TRUE(scanner.HasNetworkName());
    EXPECT_EQ("テスト網", scanner.NetworkName().Text);
    EXPECT_FALSE(scanner.HasPat());
}
