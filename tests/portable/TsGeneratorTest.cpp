// The simulated tuner's TS: valid packets and sections, counters that expose
// any loss, identical bytes however the stream is cut, and the PID filter.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "ts/TsCrc32.h"
#include "ts/TsGenerator.h"
#include "ts/TsServiceScanner.h"
#include "ts/TsStreamChecker.h"

namespace {

TsServiceInfo Service() {
    TsServiceInfo service;
    service.Tsid = 0x4031;
    service.ServiceId = 0x0403;
    service.OriginalNetworkId = 4;
    service.Name = "BS3/TS1";
    return service;
}

std::vector<uint8_t> Take(TsGenerator& generator, size_t bytes) {
    std::vector<uint8_t> out(bytes, 0xAA);
    EXPECT_EQ(bytes, generator.Generate(out.data(), bytes));
    return out;
}

uint16_t PidAt(const std::vector<uint8_t>& stream, size_t packet) {
    const uint8_t* p = &stream[packet * 188];
    return static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
}

}  // namespace

TEST(TsGeneratorTest, StreamIsCleanAndCarriesTheService) {
    TsGenerator generator(Service(), 0);
    const std::vector<uint8_t> stream = Take(generator, 188 * 3000);
    for (size_t i = 0; i < 3000; ++i) ASSERT_EQ(0x47, stream[i * 188]) << "packet " << i;

    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    EXPECT_TRUE(checker.Clean());
    EXPECT_EQ(3000u, checker.Packets());
    EXPECT_EQ(0x4031, checker.PatTsid());
    EXPECT_EQ(0x0403, checker.ProgramNumber());
    EXPECT_EQ(TsGenerator::PmtPid, checker.PmtPid());
    EXPECT_EQ(TsGenerator::FirstElementaryPid, checker.PcrPid());
    EXPECT_EQ((std::vector<uint16_t>{0x0111, 0x0112, 0x0113}), checker.ElementaryPids());
    EXPECT_EQ(0x4031, checker.SdtTsid());
    EXPECT_EQ("BS3/TS1", checker.ServiceName());
    EXPECT_EQ(90u, checker.SectionsChecked());  // PAT, PMT and SDT every 100 packets
    EXPECT_EQ(0u, checker.SectionCrcErrors());
    EXPECT_GT(checker.Pid(TsGenerator::NullPid)->Packets, 0u);
    // Every elementary packet carries the counters.
    uint64_t elementary = 0;
    for (uint16_t pid = 0x0111; pid <= 0x0113; ++pid) elementary += checker.Pid(pid)->Packets;
    EXPECT_EQ(elementary, checker.CounterPackets());
}

TEST(TsGeneratorTest, SectionsEndInAValidCrc) {
    TsGenerator generator(Service(), 0);
    const std::vector<uint8_t> stream = Take(generator, 188 * 3);
    for (size_t packet = 0; packet < 3; ++packet) {
        const uint8_t* section = &stream[packet * 188 + 5];
        const size_t length = 3 + (((section[1] & 0x0F) << 8) | section[2]);
        ASSERT_LE(length, 183u);
        EXPECT_EQ(0u, MpegCrc32(section, length)) << "packet " << packet;
    }
    // The MPEG-2 CRC of "123456789" is the published check value.
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(0x0376E6E7u, MpegCrc32(digits, sizeof(digits)));
}

TEST(TsGeneratorTest, AnyChunkingYieldsTheSameBytes) {
    TsGenerator whole(Service(), 0);
    const std::vector<uint8_t> expected = Take(whole, 188 * 700);

    TsGenerator pieces(Service(), 0);
    const size_t sizes[] = {1, 187, 189, 100, 376, 7, 4096, 188, 0, 1000};
    std::vector<uint8_t> got;
    for (size_t i = 0; got.size() < expected.size(); ++i) {
        const size_t size = std::min(sizes[i % 10], expected.size() - got.size());
        const std::vector<uint8_t> chunk = Take(pieces, size);
        got.insert(got.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(expected, got);
    EXPECT_EQ(700u, pieces.PacketIndex());
}

TEST(TsGeneratorTest, PcrFollowsTheNominalRate) {
    // 16 Mbit/s is 10638 packets a second; a PCR at least every 30 ms.
    TsGenerator generator(Service(), 16000000);
    const std::vector<uint8_t> stream = Take(generator, 188 * 10638);
    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    EXPECT_GE(checker.PcrCount(), 1000u / 31);
    EXPECT_LE(checker.PcrCount(), 1000u / 29 + 2);
}

TEST(TsGeneratorTest, PidFilterPassesOnlyListedPids) {
    TsGenerator generator(Service(), 0);
    generator.SetPidFilter(true, {0x0112, 0x0000, 0x1234});
    const std::vector<uint8_t> stream = Take(generator, 188 * 500);
    std::set<uint16_t> seen;
    for (size_t i = 0; i < 500; ++i) seen.insert(PidAt(stream, i));
    EXPECT_EQ((std::set<uint16_t>{0x0000, 0x0112}), seen);

    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    EXPECT_TRUE(checker.Clean());  // whole PIDs removed: no CC or counter gaps
    EXPECT_GT(checker.Pid(0x0112)->CounterPackets, 400u);
}

TEST(TsGeneratorTest, FilterThatPassesNothingEndsThePacketUnderWay) {
    TsGenerator generator(Service(), 0);
    uint8_t buffer[400];
    ASSERT_EQ(100u, generator.Generate(buffer, 100));
    generator.SetPidFilter(true, {0x1EEE});
    EXPECT_EQ(88u, generator.Generate(buffer, sizeof(buffer)));
    EXPECT_EQ(0u, generator.Generate(buffer, sizeof(buffer)));
    generator.SetPidFilter(false, {});
    EXPECT_EQ(sizeof(buffer), generator.Generate(buffer, sizeof(buffer)));
}

TEST(TsGeneratorTest, SameServiceGivesTheSameStream) {
    TsGenerator first(Service(), 24000000);
    TsGenerator second(Service(), 24000000);
    EXPECT_EQ(Take(first, 188 * 300), Take(second, 188 * 300));

    TsServiceInfo other = Service();
    other.Tsid = 0x4030;
    TsGenerator third(other, 24000000);
    TsGenerator fourth(Service(), 24000000);
    EXPECT_NE(Take(third, 188 * 3), Take(fourth, 188 * 3));
}

TEST(TsGeneratorTest, NamesTravelEncodedCutAtAWholeCharacterOrEmptyWhenRefused) {
    TsServiceInfo service = Service();
    std::string kanji;
    for (int i = 0; i < 40; ++i) kanji += "漢";
    service.Name = "A" + kanji;             // LS1 'A' LS0 and two bytes a kanji: 30 fit in 64
    service.ProviderName = "テッセル\x01";  // a control the encoder refuses
    service.NetworkName = "網";
    TsGenerator generator(service, 0);
    const std::vector<uint8_t> stream = Take(generator, 188 * 100);
    EXPECT_EQ(TsGenerator::NitPid, PidAt(stream, 9));

    TsServiceScanner scanner;
    scanner.Feed(stream.data(), stream.size());
    ASSERT_EQ(1u, scanner.Services().size());
    const TsScannedService read = scanner.Services()[0];
    EXPECT_EQ("A" + kanji.substr(0, 30 * 3), read.Name.Text);
    EXPECT_TRUE(read.Provider.Decoded);
    EXPECT_EQ("", read.Provider.Text);
    EXPECT_EQ("網", scanner.NetworkName().Text);
    EXPECT_EQ(0x0004, scanner.NetworkId());
}
