// TsReplayClip: turns a recorded transport stream into the clip a simulated
// channel replays in a TsLoop, with the channel's identity.
//
// The clip keeps whole packets only and starts at the recording's first
// packet with a PCR, so that every pass begins on the time base it
// announces. Its PAT is rebuilt with the channel's transport_stream_id (and
// the network PID entry ISDB PATs carry); its own SDT and NIT packets are
// dropped and the channel's, as the synthetic generator builds them (the
// NIT with every stream of the channel's network, over as many packets as
// it takes), follow every PAT instead. Everything else (PMT, video, audio, timing) is the
// recording's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ts/TsGenerator.h"

class TsReplayClip {
public:
    static constexpr size_t PacketSize = 188;
    // The largest recording taken (a 32-bit host holds the clip in memory).
    static constexpr size_t MaxBytes = size_t(256) << 20;

    // The clip for `channel` (its Tsid, OriginalNetworkId and names; the
    // service id is the recording's first program), or null with a one-line
    // reason in *error when `recording` holds no TS packets or no PAT.
    static std::shared_ptr<const std::vector<uint8_t>> Prepare(const std::vector<uint8_t>& recording,
                                                              const TsServiceInfo& channel,
                                                              std::string* error);

private:
    struct Pat {
        uint8_t Version = 0;
        std::vector<std::pair<uint16_t, uint16_t>> Programs;  // number, PMT PID (program 0 left out)
    };

    static std::vector<uint8_t> WholePackets(const std::vector<uint8_t>& recording);
    static bool ReadPat(const uint8_t* packet, Pat* pat);
    static size_t FirstPcrPacket(const std::vector<uint8_t>& packets);
    static std::vector<uint8_t> Rewrite(const std::vector<uint8_t>& packets, size_t start,
                                        const TsServiceInfo& service);
};
