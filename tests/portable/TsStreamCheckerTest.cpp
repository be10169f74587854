// The TS checker must see every kind of damage a capture chain can do (lost,
// repeated, reordered packets, garbage between packets) and must not report
// any on a clean stream, however it is fed.
#include <gtest/gtest.h>

#include <vector>

#include "ts/TsGenerator.h"
#include "ts/TsStreamChecker.h"

namespace {

constexpr size_t P = 188;

std::vector<uint8_t> CleanStream(size_t packets) {
    TsServiceInfo service;
    service.Tsid = 0x71D9;
    service.Name = "13ch";
    TsGenerator generator(service, 0);
    std::vector<uint8_t> stream(packets * P);
    generator.Generate(stream.data(), stream.size());
    return stream;
}

uint16_t PidOf(const std::vector<uint8_t>& stream, size_t packet) {
    return static_cast<uint16_t>(((stream[packet * P + 1] & 0x1F) << 8) | stream[packet * P + 2]);
}

// Index of the n-th packet (from 0) of `pid`.
size_t FindPacket(const std::vector<uint8_t>& stream, uint16_t pid, size_t n) {
    for (size_t i = 0; i < stream.size() / P; ++i)
        if (PidOf(stream, i) == pid && n-- == 0) return i;
    ADD_FAILURE() << "no such packet";
    return 0;
}

void Erase(std::vector<uint8_t>& stream, size_t packet) {
    stream.erase(stream.begin() + packet * P, stream.begin() + (packet + 1) * P);
}

void Duplicate(std::vector<uint8_t>& stream, size_t packet) {
    std::vector<uint8_t> copy(stream.begin() + packet * P, stream.begin() + (packet + 1) * P);
    stream.insert(stream.begin() + (packet + 1) * P, copy.begin(), copy.end());
}

TsStreamChecker Check(const std::vector<uint8_t>& stream) {
    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    return checker;
}

// A payload-less packet (adaptation field only) of `pid` with counter `cc`.
std::vector<uint8_t> AdaptationOnly(uint16_t pid, uint8_t cc, bool discontinuity) {
    std::vector<uint8_t> packet(P, 0xFF);
    packet[0] = 0x47;
    packet[1] = static_cast<uint8_t>(pid >> 8);
    packet[2] = static_cast<uint8_t>(pid);
    packet[3] = static_cast<uint8_t>(0x20 | cc);
    packet[4] = 183;
    packet[5] = discontinuity ? 0x80 : 0x00;
    return packet;
}

}  // namespace

TEST(TsStreamCheckerTest, CleanStreamIsCleanWhateverTheChunking) {
    const std::vector<uint8_t> stream = CleanStream(1000);
    const TsStreamChecker whole = Check(stream);
    EXPECT_TRUE(whole.Clean());

    TsStreamChecker bytewise;
    for (size_t i = 0; i < stream.size(); i += 13)
        bytewise.Feed(&stream[i], std::min<size_t>(13, stream.size() - i));
    EXPECT_TRUE(bytewise.Clean());
    EXPECT_EQ(whole.Packets(), bytewise.Packets());
    EXPECT_EQ(whole.CounterPackets(), bytewise.CounterPackets());
    EXPECT_EQ(whole.Pids(), bytewise.Pids());
    EXPECT_EQ(stream.size(), bytewise.Bytes());
    EXPECT_EQ(0u, bytewise.PartialBytes());
}

TEST(TsStreamCheckerTest, LostPacketIsAContinuityErrorAndACounterGap) {
    std::vector<uint8_t> stream = CleanStream(1000);
    Erase(stream, FindPacket(stream, 0x0112, 20));
    const TsStreamChecker checker = Check(stream);
    EXPECT_FALSE(checker.Clean());
    EXPECT_EQ(1u, checker.Pid(0x0112)->CcErrors);
    EXPECT_EQ(1u, checker.Pid(0x0112)->CounterGaps);
    EXPECT_EQ(1u, checker.Pid(0x0112)->CounterMissing);
    EXPECT_EQ(0u, checker.Pid(0x0111)->CcErrors);
    EXPECT_EQ(0u, checker.IndexRegressions());
}

TEST(TsStreamCheckerTest, SixteenLostPacketsStillShowAsCounterGap) {
    // The 4-bit continuity counter wraps; the generator's counter does not.
    std::vector<uint8_t> stream = CleanStream(1000);
    const size_t first = FindPacket(stream, 0x0113, 10);
    for (int i = 0; i < 16; ++i) Erase(stream, FindPacket(stream, 0x0113, 10));
    ASSERT_GT(stream.size(), first * P);
    const TsStreamChecker checker = Check(stream);
    EXPECT_EQ(0u, checker.Pid(0x0113)->CcErrors);
    EXPECT_EQ(1u, checker.Pid(0x0113)->CounterGaps);
    EXPECT_EQ(16u, checker.Pid(0x0113)->CounterMissing);
}

TEST(TsStreamCheckerTest, OneRepeatIsAllowedTwoAreNot) {
    std::vector<uint8_t> stream = CleanStream(500);
    const size_t packet = FindPacket(stream, 0x0111, 5);
    Duplicate(stream, packet);
    TsStreamChecker checker = Check(stream);
    EXPECT_EQ(0u, checker.CcErrors());
    EXPECT_EQ(1u, checker.Pid(0x0111)->CcDuplicates);
    EXPECT_EQ(1u, checker.Pid(0x0111)->CounterDuplicates);

    Duplicate(stream, packet);
    checker = Check(stream);
    EXPECT_EQ(1u, checker.Pid(0x0111)->CcErrors);
}

TEST(TsStreamCheckerTest, SwappedPacketsAreAReorder) {
    std::vector<uint8_t> stream = CleanStream(500);
    const size_t a = FindPacket(stream, 0x0112, 3);
    const size_t b = FindPacket(stream, 0x0112, 4);
    std::swap_ranges(stream.begin() + a * P, stream.begin() + (a + 1) * P, stream.begin() + b * P);
    const TsStreamChecker checker = Check(stream);
    EXPECT_EQ(1u, checker.Pid(0x0112)->CounterReorders);
    EXPECT_GE(checker.IndexRegressions(), 1u);
    EXPECT_FALSE(checker.Clean());
}

TEST(TsStreamCheckerTest, GarbageCostsOneSyncLossAndIsSkipped) {
    std::vector<uint8_t> stream = CleanStream(200);
    const std::vector<uint8_t> garbage = {0x00, 0x12, 0x34, 0x47 + 1, 0x99};
    stream.insert(stream.begin() + 50 * P, garbage.begin(), garbage.end());
    stream.insert(stream.begin(), garbage.begin(), garbage.end());
    const TsStreamChecker checker = Check(stream);
    EXPECT_EQ(2u, checker.SyncLosses());
    EXPECT_EQ(2 * garbage.size(), checker.SkippedBytes());
    EXPECT_EQ(200u, checker.Packets());
    EXPECT_EQ(0u, checker.CcErrors());
}

TEST(TsStreamCheckerTest, AdaptationOnlyPacketsKeepTheCounter) {
    std::vector<uint8_t> stream = CleanStream(10);  // PAT, PMT, SDT, 0x111...
    const uint8_t patCc = stream[3] & 0x0F;
    std::vector<uint8_t> same = AdaptationOnly(0x0000, patCc, false);
    stream.insert(stream.begin() + P, same.begin(), same.end());
    EXPECT_EQ(0u, Check(stream).CcErrors());

    std::vector<uint8_t> bumped = AdaptationOnly(0x0000, (patCc + 1) & 0x0F, false);
    std::copy(bumped.begin(), bumped.end(), stream.begin() + P);
    EXPECT_EQ(1u, Check(stream).CcErrors());

    std::vector<uint8_t> flagged = AdaptationOnly(0x0000, 9, true);
    std::copy(flagged.begin(), flagged.end(), stream.begin() + P);
    // The discontinuity restarts the count at 9; the PAT of the next cycle is
    // not in this stream, so nothing else is compared.
    EXPECT_EQ(0u, Check(stream).CcErrors());
}

TEST(TsStreamCheckerTest, DamagedSectionFailsItsCrc) {
    std::vector<uint8_t> stream = CleanStream(3);
    stream[P * 2 + 30] ^= 0x01;  // inside the SDT
    const TsStreamChecker checker = Check(stream);
    EXPECT_EQ(3u, checker.SectionsChecked());
    EXPECT_EQ(1u, checker.SectionCrcErrors());
    EXPECT_FALSE(checker.HasSdt());
    EXPECT_TRUE(checker.HasPat());
}

TEST(TsStreamCheckerTest, ArbitraryBytesAreSafe) {
    // Pseudo-random packets with a sync byte: every header and length field
    // takes odd values; the checker must only count.
    std::vector<uint8_t> stream(P * 2000);
    uint32_t seed = 12345;
    for (uint8_t& byte : stream) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    for (size_t i = 0; i < 2000; ++i) {
        stream[i * P] = 0x47;
        if (i % 3 == 0) stream[i * P + 1] &= 0x40;  // PID 0 with a section start
        if (i % 3 == 1) stream[i * P + 2] = 0x11;
    }
    const TsStreamChecker checker = Check(stream);
    EXPECT_EQ(2000u, checker.Packets());
    EXPECT_EQ(0u, checker.SyncLosses());
}
