// `bonhost record`: opens the tuner, tunes one channel and pulls TS for a
// given time, or until stopped (RecordStop), with WaitTsStream/GetTsStream,
// writing it to a file or stdout (RecordOutput) and counting it with
// TsStreamChecker. When the stream stops (a tuner that was unplugged or
// stalled) it says so in one line, and in one more when the stream resumes
// (the driver recovers it), with the gap and the bytes the gap cost at the
// rate before it; the recording goes on to its end.
//
// As a tuner server's tuner command (`--out -`, a tuner server's channel
// name without --space, no --seconds) every message goes to stderr, and the
// recording ends, exit code 0, when the server stops it or stops reading.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/IBonDriver.h"
#include "ts/TsStreamChecker.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/RecordOutput.h"
#include "tools/bonhost/RecordStop.h"

class BonhostRecorder {
public:
    explicit BonhostRecorder(IBonDriver2* driver) : driver_(driver) {}

    // Runs the whole command; returns the process exit code.
    int Run(const BonhostOptions& options);

    // Optional steps of a recording: `afterTune` runs once the channel is
    // tuned (a false result ends the run with exit code 8), `halfway` halfway
    // through the recording time.
    void SetSteps(std::function<bool()> afterTune, std::function<void()> halfway) {
        afterTune_ = std::move(afterTune);
        halfway_ = std::move(halfway);
    }

private:
    bool Resolve(const std::string& spaceText, const std::string& channelText, DWORD* space,
                 DWORD* channel, std::string* error);
    // A tuner server's channel name ("27", "BS01_0") in the driver's list.
    bool ResolveServerName(const std::string& name, DWORD* space, DWORD* channel,
                           std::string* error);
    int Record(const BonhostOptions& options, DWORD space, DWORD channel);
    // Records for `seconds`, or with 0 until stopped; returns early on a stop.
    void Pump(double seconds);
    void Drain();
    // The output failed (for stdout: its reader went away), or a stop came.
    bool Stopping() const { return output_.Failed() || stop_.Requested() != StopReason::None; }
    void Progress(double elapsed, bool last);
    void Summary() const;
    // Notes a chunk (or none) at `now`, printing the stop and resume lines.
    void WatchGap(uint64_t now, bool chunk);

    IBonDriver2* driver_;
    RecordStop stop_;
    RecordOutput output_;
    std::FILE* log_ = stdout;    // stderr when the TS goes to stdout
    bool progress_ = true;       // the running line, for a person watching
    TsStreamChecker checker_;
    uint64_t bytes_ = 0;
    uint64_t chunks_ = 0;
    uint64_t startMs_ = 0;
    uint64_t lastChunkMs_ = 0;   // when the last chunk came (or the recording began)
    bool stopped_ = false;       // no chunk for StopMs
    uint32_t gaps_ = 0;
    double lostBytes_ = 0;
    std::function<bool()> afterTune_;
    std::function<void()> halfway_;
};

// `bonhost info`: tuner name, tuning spaces and channels. Exit code.
int BonhostInfo(IBonDriver2* driver);
