// Replaying a recording on a simulated channel: the clip takes the channel's
// TSID and names, plays round and round with its continuity counters carried
// across the wrap and the time-base jump marked, through odd read sizes and
// the PID filter; the device plays it (or nothing, for a silent channel) by
// the channel sources; and a clip that closes on itself is copied untouched,
// as a benchmark's ring is.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "channels/ChannelPlan.h"
#include "sim/SimState.h"
#include "ts/TsLoop.h"
#include "ts/TsReplayClip.h"
#include "ts/TsServiceScanner.h"
#include "ts/TsStreamChecker.h"

namespace {

constexpr size_t Packet = 188;

// A "recording": the generator's stream, started mid-way so it begins
// without a PCR, as a capture made by hand does.
std::vector<uint8_t> Recording(size_t packets) {
    TsServiceInfo source;
    source.Tsid = 0x1234;
    source.ServiceId = 0x0500;
    source.Name = "recorded";
    TsGenerator generator(source, 8000000);
    std::vector<uint8_t> skipped(Packet * 37);
    generator.Generate(skipped.data(), skipped.size());
    std::vector<uint8_t> bytes(Packet * packets);
    generator.Generate(bytes.data(), bytes.size());
    return bytes;
}

TsServiceInfo Channel() {
    TsServiceInfo channel;
    channel.Tsid = 0x7FE8;
    channel.OriginalNetworkId = 0x7FE0;
    channel.Name = "地デジ試験 13ch";
    channel.ProviderName = "てっせる放送";
    channel.NetworkName = "地上デジタル";
    return channel;
}

// Offsets of the packets whose adaptation field has the discontinuity flag.
std::vector<size_t> MarkedPackets(const std::vector<uint8_t>& stream) {
    std::vector<size_t> marked;
    for (size_t at = 0; at + Packet <= stream.size(); at += Packet)
        if ((stream[at + 3] & 0x20) && stream[at + 4] > 0 && (stream[at + 5] & 0x80))
            marked.push_back(at / Packet);
    return marked;
}

}  // namespace

TEST(TsReplay, ClipPlaysSeamlesslyAsTheChannel) {
    std::string error;
    auto clip = TsReplayClip::Prepare(Recording(1003), Channel(), &error);
    ASSERT_NE(clip, nullptr) << error;
    ASSERT_EQ(0u, clip->size() % Packet);
    const size_t clipPackets = clip->size() / Packet;
    EXPECT_NE(0, (*clip)[5] & 0x10) << "the clip starts at its first PCR";

    TsLoop loop(clip);
    std::vector<uint8_t> stream;
    for (size_t size : {1u, 187u, 5000u, 188u * 700, 33333u, 188u * 2000, 77u})
        for (int i = 0; i < 3; ++i) {
            std::vector<uint8_t> piece(size);
            ASSERT_EQ(size, loop.Read(piece.data(), size));
            stream.insert(stream.end(), piece.begin(), piece.end());
        }
    ASSERT_GE(loop.CompletedPasses(), 3u);

    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    TsServiceScanner scanner;
    scanner.Feed(stream.data(), stream.size());
    EXPECT_EQ(0u, checker.SyncLosses());
    EXPECT_EQ(0u, checker.CcErrors()) << "counters carry on across every wrap";
    EXPECT_EQ(0x7FE8, checker.PatTsid());
    EXPECT_EQ(0x0500, checker.ProgramNumber()) << "the recording's program stays";
    EXPECT_EQ(0u, checker.SectionCrcErrors());
    ASSERT_EQ(1u, scanner.Services().size());
    EXPECT_EQ("地デジ試験 13ch", scanner.Services()[0].Name.Text);
    EXPECT_EQ("地上デジタル", scanner.NetworkName().Text);
    // The first PCR of every pass but the first announces the new time base.
    const std::vector<size_t> marked = MarkedPackets(stream);
    ASSERT_EQ(loop.CompletedPasses(), marked.size());
    for (size_t i = 0; i < marked.size(); ++i) EXPECT_EQ((i + 1) * clipPackets, marked[i]);
    EXPECT_NEAR(8000000.0, static_cast<double>(loop.NaturalBitRate()), 80000.0);
}

TEST(TsReplay, PidFilterAndUnusableRecordings) {
    std::string error;
    auto clip = TsReplayClip::Prepare(Recording(400), Channel(), &error);
    ASSERT_NE(clip, nullptr) << error;
    TsLoop loop(clip);
    loop.SetPidFilter(true, {0x0000, 0x0112});
    std::vector<uint8_t> stream(Packet * 900);
    ASSERT_EQ(stream.size(), loop.Read(stream.data(), stream.size()));
    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    EXPECT_EQ((std::vector<uint16_t>{0x0000, 0x0112}), checker.Pids());
    EXPECT_EQ(0u, checker.CcErrors());
    loop.SetPidFilter(true, {0x0999});  // a PID the clip lacks: nothing, not a hang
    EXPECT_EQ(0u, loop.Read(stream.data(), stream.size()));

    EXPECT_EQ(nullptr, TsReplayClip::Prepare(std::vector<uint8_t>(10000, 0x47), Channel(), &error));
    EXPECT_FALSE(error.empty());
    std::vector<uint8_t> noPat = Recording(300);
    for (size_t at = 0; at < noPat.size(); at += Packet)
        if (noPat[at + 1] == 0x40 && noPat[at + 2] == 0x00) noPat[at + 2] = 0x42;  // PAT -> PID 0x42
    EXPECT_EQ(nullptr, TsReplayClip::Prepare(noPat, Channel(), &error));
}

TEST(TsReplay, RingThatClosesOnItselfIsCopiedUntouched) {
    // 1600 packets of the generator's 100-packet cycle: every PID holds a
    // multiple of 16 packets, so no counter needs mending.
    TsServiceInfo service;
    TsGenerator generator(service, 0);
    auto ring = std::make_shared<std::vector<uint8_t>>(Packet * 1600);
    generator.Generate(ring->data(), ring->size());
    TsLoop loop(ring);
    std::vector<uint8_t> twice(ring->size() * 2);
    ASSERT_EQ(twice.size(), loop.Read(twice.data(), twice.size()));
    size_t firstPcr = 0;
    while (!((*ring)[firstPcr + 3] & 0x20) || !((*ring)[firstPcr + 5] & 0x10)) firstPcr += Packet;
    for (size_t at = 0; at < ring->size(); at += Packet) {
        const bool marked = at == firstPcr;
        for (size_t i = 0; i < Packet; ++i) {
            const uint8_t expected = (marked && i == 5) ? ((*ring)[at + i] | 0x80) : (*ring)[at + i];
            ASSERT_EQ(expected, twice[ring->size() + at + i]) << "packet " << at / Packet;
        }
    }
}

TEST(TsReplay, DeviceFollowsTheChannelSources) {
    SimState sim;
    SimDevice& device = *sim.Device(WIDE("sim:replay"));
    auto sources = std::make_shared<SimChannelSources>();
    SimChannelSource replay;
    replay.Kind = SimSourceKind::Replay;
    replay.Recording = std::make_shared<const std::vector<uint8_t>>(Recording(500));
    sources->Set("13ch", replay);
    SimChannelSource silent;
    silent.Kind = SimSourceKind::Silent;
    sources->Set("14ch", silent);
    sim.SetChannelSources(sources);

    auto tune = [&](uint32_t channel) {
        TuneRequest request{};
        FillTuneRequest(Network::IsdbT, 0, *LookupChannel(Network::IsdbT, 0, channel), &request);
        ASSERT_EQ(S_OK, device.SetTuneRequest(&request));
    };
    auto read = [&](size_t bytes, TsStreamChecker* checker) {
        std::vector<uint8_t> buffer(bytes);
        const size_t got = device.ReadTs(buffer.data(), bytes);
        checker->Feed(buffer.data(), got);
        return got;
    };
    SignalStatistics statistics{};
    tune(0);  // 13ch replays, as itself
    TsStreamChecker replayed;
    EXPECT_EQ(Packet * 50, read(Packet * 50, &replayed));
    EXPECT_EQ(0x71D9, replayed.PatTsid());
    EXPECT_EQ(0x0500, replayed.ProgramNumber());
    EXPECT_NEAR(8000000.0, static_cast<double>(device.BitRate()), 80000.0) << "its own rate";
    tune(1);  // 14ch is silent: tuned, no signal, no TS
    ASSERT_EQ(S_OK, device.GetSignalStatistics(&statistics));
    EXPECT_EQ(0, statistics.Level);
    TsStreamChecker none;
    EXPECT_EQ(0u, read(Packet * 10, &none));
    tune(2);  // 15ch stays live with the generator
    TsStreamChecker live;
    EXPECT_EQ(Packet * 10, read(Packet * 10, &live));
    EXPECT_EQ(SimDefaultBitRate, device.BitRate());
    sim.Reset();  // back to every channel live
    tune(1);
    EXPECT_EQ(Packet * 10, read(Packet * 10, &none));
}
