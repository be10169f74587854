// SimReplayPlan: what replaying a user's report folder sets up, read from
// the folder's texts and held to what they can back up. The report must
// hold the tracing DLL's device calls (a release DLL's report has none, and
// the simulator's defaults would only pose as the user's tuner); every line
// of device-calls.txt must be one; the tuners come from tuners.txt; and
// the stream is tied to the tune that recorded it, found among the device
// calls (the line report.txt names, else the last tune), so it replays on
// the frequency and TSID the user's driver sent, whatever either side's
// channel plan calls that channel. Nothing read is trusted for a size:
// texts, names and counts are bounded and a breach is a clear error.
// Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/TuneRequest.h"

struct SimReplayTuner {
    std::string FriendlyName;  // UTF-8
    std::string DevicePath;    // UTF-8
};

class SimReplayPlan {
public:
    // The largest text of a report that is read.
    static constexpr size_t MaxTextBytes = 16u << 20;
    static constexpr size_t MaxTuners = 64;
    static constexpr size_t MaxNameLength = 1024;

    // Reads the texts of report.txt, device-calls.txt and tuners.txt; false
    // with a one-line reason in *error when they cannot be replayed.
    bool Read(const std::string& report, const std::string& deviceCalls, const std::string& tuners,
              std::string* error);

    const std::vector<SimReplayTuner>& Tuners() const { return tuners_; }
    size_t DeviceCalls() const { return calls_; }
    // Whether stream.ts holds TS to replay; then StreamTune is what the
    // driver sent for it and StreamTuneLine its line in device-calls.txt.
    bool HasStream() const { return hasStream_; }
    const TuneRequest& StreamTune() const { return tune_; }
    size_t StreamTuneLine() const { return tuneLine_; }

private:
    bool ReadCalls(const std::string& text, size_t lastLine, std::string* error);
    bool ReadTuners(const std::string& text, std::string* error);

    std::vector<SimReplayTuner> tuners_;
    size_t calls_ = 0;
    bool hasStream_ = false;
    TuneRequest tune_{};
    size_t tuneLine_ = 0;
};
