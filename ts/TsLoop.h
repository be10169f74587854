// TsLoop: a clip of whole TS packets played round and round as one endless
// stream: the simulated tuner's replay of a recording, and a benchmark's
// pre-generated ring.
//
// Each pass hands out the clip's bytes with one copy. Two things are mended
// in the copy, so that a receiver sees one seamless stream: every PID's
// continuity counter carries on across the wrap (pass k adds k times the
// PID's step per pass; a clip that already closes on itself, such as a ring
// whose PIDs each hold a multiple of 16 packets, is copied untouched), and
// from the second pass on, the clip's first packet with a PCR carries the
// discontinuity_indicator, because that PCR starts the clip's time base again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ts/TsSource.h"

class TsLoop : public TsSource {
public:
    static constexpr size_t PacketSize = 188;

    // `clip` holds whole packets (its size a multiple of 188) and is shared
    // read-only, so many loops may play one clip. An empty clip plays nothing.
    explicit TsLoop(std::shared_ptr<const std::vector<uint8_t>> clip);

    size_t Read(uint8_t* out, size_t bytes) override;
    size_t PendingBytes() const override;
    size_t DrainPending(uint8_t* out, size_t bytes) override;
    // Packets of unlisted PIDs are skipped; the counters of listed ones still
    // carry on across the wrap.
    void SetPidFilter(bool on, const std::vector<uint16_t>& pids) override;
    // From the first and last PCR of the clip's first PCR PID; 0 without two
    // increasing PCRs.
    uint64_t NaturalBitRate() const override { return bitRate_; }

    // Passes completed so far.
    uint64_t CompletedPasses() const { return pass_; }

private:
    void Survey();
    void SurveyPcr(const uint8_t* packet, size_t index, int* pcrPid, uint64_t* firstPcr,
                   size_t* firstIndex);
    size_t ReadFiltered(uint8_t* out, size_t bytes);
    size_t CopySpan(uint8_t* out, size_t bytes);
    void Mend(uint8_t* out, size_t begin, size_t end) const;
    void NextPass();
    void SkipFilteredPackets();
    uint16_t PidAt(size_t packet) const;

    static constexpr size_t PidCount = 0x2000;

    std::shared_ptr<const std::vector<uint8_t>> clip_;
    size_t size_ = 0;                 // bytes of whole packets in the clip
    std::vector<uint8_t> step_;       // per PID: counter step per pass
    std::vector<uint16_t> stepped_;   // PIDs whose step is not 0
    std::vector<uint8_t> offset_;     // per PID: this pass's counter offset
    bool mendCounters_ = false;       // some offset of this pass is not 0
    long long markPacket_ = -1;       // the clip's first packet with a PCR
    uint64_t bitRate_ = 0;
    std::vector<bool> present_;       // PIDs the clip carries
    bool filterOn_ = false;
    std::vector<bool> passes_;        // PIDs the filter lets through
    bool anyPasses_ = true;
    size_t pos_ = 0;                  // next byte of the clip
    uint64_t pass_ = 0;
};
