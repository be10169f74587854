#include "bench/ReplayRing.h"

#include <algorithm>

#include "ts/TsGenerator.h"

namespace {

// 14 x 16 generator cycles of 100 packets: 4.2 MB.
constexpr size_t RingCycles = 14 * 16;

bool HasPcr(const uint8_t* packet) {
    return (packet[3] & 0x20) != 0 && packet[4] >= 7 && (packet[5] & 0x10) != 0;
}

}  // namespace

std::shared_ptr<const std::vector<uint8_t>> ReplayRing::Make() {
    constexpr size_t Packet = TsGenerator::PacketSize;
    TsServiceInfo service;
    service.Name = "replay ring";
    TsGenerator generator(service, 0);
    std::vector<uint8_t> ring(RingCycles * TsGenerator::CycleLength * Packet);
    generator.Generate(ring.data(), ring.size());
    // Rotating keeps every PID's packet count, so the counters still close.
    size_t first = 0;
    while (first < ring.size() && !HasPcr(&ring[first])) first += Packet;
    if (first < ring.size()) std::rotate(ring.begin(), ring.begin() + first, ring.end());
    return std::make_shared<const std::vector<uint8_t>>(std::move(ring));
}

std::shared_ptr<SimChannelSources> ReplayRing::Everywhere(std::shared_ptr<const std::vector<uint8_t>> ring) {
    auto sources = std::make_shared<SimChannelSources>();
    SimChannelSource replay;
    replay.Kind = SimSourceKind::Replay;
    replay.Recording = std::move(ring);
    sources->Set(SimChannelSources::AnyChannel, replay);
    return sources;
}
