// TsSource: where a simulated tuner's transport stream comes from. The
// synthetic generator and the replay of a recorded clip both hand out an
// endless byte stream in pieces of any size, so the device can switch
// between them on a retune without cutting a packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TsSource {
public:
    virtual ~TsSource() = default;

    // Writes the next bytes of the stream, continuing exactly where the last
    // call stopped (sizes need not be multiples of 188). Returns `bytes`, or,
    // when the PID filter lets none of the stream's PIDs through, only the
    // rest of the packet under way (possibly 0).
    virtual size_t Read(uint8_t* out, size_t bytes) = 0;

    // Bytes of the packet under way not yet handed out (0 at a boundary).
    virtual size_t PendingBytes() const = 0;
    // Writes at most `bytes` of the packet under way; returns the count.
    virtual size_t DrainPending(uint8_t* out, size_t bytes) = 0;

    // The hardware PID filter: when on, only packets whose PID is listed are
    // delivered.
    virtual void SetPidFilter(bool on, const std::vector<uint16_t>& pids) = 0;

    // The rate the stream wants to be played at in bits/s, or 0 when any
    // rate will do.
    virtual uint64_t NaturalBitRate() const { return 0; }
};
