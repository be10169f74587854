// The replay source of the end-to-end benchmarks: a few MB of TS generated
// once and played round and round by every simulated channel, so that the
// source costs one copy per byte instead of building every packet.
//
// The ring is whole generator cycles, sixteen at a time, so every PID holds a
// multiple of 16 packets and its continuity counter closes on itself: the
// loop copies it untouched, pass after pass. It starts at the stream's first
// PCR, as the simulator's replay wants it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/SimChannelSources.h"

class ReplayRing {
public:
    // About 4 MB of TS.
    static std::shared_ptr<const std::vector<uint8_t>> Make();

    // Sources that replay `ring` on every channel.
    static std::shared_ptr<SimChannelSources> Everywhere(std::shared_ptr<const std::vector<uint8_t>> ring);
};
