// Pulls TS from a driver as a host does (WaitTsStream, then GetTsStream
// until the queue is empty), hands each chunk to a sink and times the
// chunks, so that the rate is measured between the first chunk's arrival
// and the last's rather than from the tune.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/IBonDriver.h"

class StreamReader {
public:
    using Sink = std::function<void(const BYTE* data, DWORD size)>;

    explicit StreamReader(IBonDriver2* driver) : driver_(driver) {}

    // Reads for `ms` milliseconds, or until `enough` (checked after every
    // wait; may be empty) answers true. The chunk pointers are valid only
    // during the sink's call.
    void Read(DWORD ms, const Sink& sink, const std::function<bool()>& enough);

    uint64_t Bytes() const { return bytes_; }
    uint64_t Chunks() const { return chunks_; }
    // Milliseconds between the first chunk's arrival and the last's.
    double MeasuredMs() const;
    // Mbit/s over the chunks after the first; 0 with fewer than two.
    double Mbps() const;

private:
    using Clock = std::chrono::steady_clock;
    void Drain(const Sink& sink);

    IBonDriver2* driver_;
    uint64_t bytes_ = 0, chunks_ = 0, firstChunkBytes_ = 0;
    Clock::time_point first_{}, last_{};
};
