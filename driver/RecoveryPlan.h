// RecoveryPlan: what the driver's recovery thread does next for an open
// tuner, decided from what it has seen and the time. Pure logic (the thread,
// the graph and the device walk are TunerRecovery's), so every timeline can
// be checked without a tuner.
//
//   Streaming --lost / aborted / device back under the graph / stall--> Broken
//   Broken --the graph is torn down--> Lost (the device went) or Ready
//   Lost --the device is in the tuner category again--> Ready
//   Ready --rebuilt--> Streaming
//   Ready --rebuild failed--> Ready again after a back-off, or Lost
//
// A stall is no sample for StallSeconds while the tuner is tuned; it counts
// only when the signal level is above 0 (without signal the level tells the
// host already). A device that went is looked for every second or two (a
// walk of one device category); rebuild attempts that fail back off from
// 1.5 s, doubling, to at most 10 s. With AutoRecover off the plan reports
// what it sees and never acts. Times are milliseconds of one steady clock.
#pragma once

#include <cstdint>

enum class RecoveryAction {
    None,           // wait until WaitMs() has passed or something happens
    TearDown,       // take the broken graph down, keep the host's stream open
    CheckSignal,    // read the signal level (a stall is suspected)
    LookForDevice,  // walk the tuner category for the same name and path
    Rebuild,        // rebuild the graph on the same device, retune, restore
};

enum class RecoveryCause { None, DeviceLost, DeviceBack, StreamAborted, Stalled };

enum class RebuildResult {
    Rebuilt,        // streaming again
    Failed,         // a step failed; the device is there: try again later
    DeviceMissing,  // the device is not there (any more)
    Blocked,        // a graph that cannot be emptied is still kept aside
};

// What the driver tells about its stream at a decision.
struct StreamFacts {
    uint64_t LastSampleMs = 0;  // when the last sample came (or the stream began)
    bool Tuned = false;         // a tune succeeded since the graph was built
};

class RecoveryPlan {
public:
    static constexpr uint64_t StallCheckMs = 1000;
    static constexpr uint64_t FirstLookMs = 1000;
    static constexpr uint64_t LookCapMs = 2000;
    static constexpr uint64_t FirstBackOffMs = 1500;
    static constexpr uint64_t BackOffCapMs = 10000;
    static constexpr uint64_t NoWait = ~0ull;

    RecoveryPlan(bool autoRecover, uint32_t stallSeconds, uint64_t now);

    // What the graph's events say.
    void DeviceLost(uint64_t now);
    void DeviceBack(uint64_t now);
    void StreamAborted(uint64_t now);

    // The next thing to do now.
    RecoveryAction Next(uint64_t now, const StreamFacts& facts);
    // Milliseconds until Next may have something to do (NoWait: only an event).
    uint64_t WaitMs(uint64_t now) const;

    // The outcome of the action Next asked for.
    void TornDown(uint64_t now);
    void SignalRead(float level, uint64_t now);
    void Looked(bool found, uint64_t now);
    void RebuildDone(RebuildResult result, uint64_t now);

    // Why the stream broke last (for traces and figures).
    RecoveryCause Cause() const { return cause_; }
    bool Recovering() const { return state_ != State::Streaming; }
    uint32_t FailedAttempts() const { return failedAttempts_; }

private:
    enum class State { Streaming, Broken, Lost, Ready };

    void Break(RecoveryCause cause);
    bool StallDue(uint64_t now, const StreamFacts& facts) const;

    const bool autoRecover_;
    const uint64_t stallMs_;
    State state_ = State::Streaming;
    RecoveryCause cause_ = RecoveryCause::None;
    uint64_t nextStallCheck_;
    uint64_t nextLook_ = 0;
    uint64_t lookInterval_ = FirstLookMs;
    uint64_t rebuildAt_ = 0;
    uint32_t failedAttempts_ = 0;
};
