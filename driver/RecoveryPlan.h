// RecoveryPlan: what the driver's recovery thread does next for an open
// tuner, decided from what it has seen and the time. Pure logic (the thread,
// the graph and the device walk are TunerRecovery's), so every timeline can
// be checked without a tuner.
//
//   Streaming --lost / aborted / device back under the graph / stall--> Broken
//   Streaming --silent, and the signal call fails--> Probing
//   Probing --the device is not listed--> Broken (it vanished without a word)
//   Probing --still listed--> a stall (Broken) or Streaming again
//   Broken --the graph is torn down--> Lost (the device went) or Ready
//   Lost --the device is in the tuner category again--> Ready
//   Ready --rebuilt--> Streaming
//   Ready --rebuild failed--> Ready again after a back-off, or Lost
//
// A tuned stream without a sample for a couple of seconds has its signal
// read once a second. A level above 0 with no sample for StallSeconds is a
// stall; a level of 0 from a call that succeeded is no signal, which the
// host sees itself; a call that fails has the device looked for, as some
// devices leave without an event: gone is a loss, still listed a stall.
// While the host has the hardware PID filter on, silence is its own choice
// and no stall. A stall that two rebuilds in a row did not cure stops the
// stall rebuilds until TS flows again.
//
// A device that went is looked for every second or two (a walk of one
// device category). Every failed rebuild, the device missing included,
// backs off from 1.5 s, doubling, to at most 10 s; a successful one starts
// the back-off afresh. With AutoRecover off the plan reports what it sees
// and never acts. Times are milliseconds of one steady clock.
#pragma once

#include <cstdint>

enum class RecoveryAction {
    None,           // wait until WaitMs() has passed or something happens
    TearDown,       // take the broken graph down, keep the host's stream open
    CheckSignal,    // read the signal statistics (the stream is silent)
    LookForDevice,  // walk the tuner category for the same name and path
    Rebuild,        // rebuild the graph on the same device, retune, restore
};

enum class RecoveryCause { None, DeviceLost, DeviceBack, StreamAborted, Stalled, DeviceVanished };

enum class RebuildResult {
    Rebuilt,         // streaming again
    Failed,          // a step failed; the device is there: try again later
    DeviceMissing,   // the device is not there (any more)
    GraphKeptAside,  // graphs a failed sweep could not empty are in the way: try later
    NotWanted,       // the host closed or released the tuner meanwhile
};

// Something the thread traces once.
enum class RecoveryNotice { None, StallRebuildsStopped, StallRebuildsResumed };

// What the driver tells about its stream at a decision.
struct StreamFacts {
    uint64_t LastSampleMs = 0;  // when the last sample came (or the stream began)
    uint64_t Samples = 0;       // samples since the open; only rises
    bool Tuned = false;         // a tune succeeded since the graph was built
    bool HostFilterOn = false;  // the host has the hardware PID filter switched on
};

class RecoveryPlan {
public:
    static constexpr uint64_t StallCheckMs = 1000;
    static constexpr uint64_t QuietCheckMs = 2000;
    static constexpr uint64_t FirstLookMs = 1000;
    static constexpr uint64_t LookStepMs = 500;
    static constexpr uint64_t LookCapMs = 2000;
    static constexpr uint64_t FirstBackOffMs = 1500;
    static constexpr uint64_t BackOffCapMs = 10000;
    static constexpr uint32_t UncuredStallRebuilds = 2;
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

    // The outcome of the action Next asked for. `read` false: the signal
    // call failed (`level` is then meaningless).
    void TornDown(uint64_t now);
    void SignalRead(bool read, float level, uint64_t now);
    void Looked(bool found, uint64_t now);
    void RebuildDone(RebuildResult result, uint64_t now);

    // Why the stream broke last (for traces and figures).
    RecoveryCause Cause() const { return cause_; }
    bool Recovering() const { return state_ != State::Streaming && state_ != State::Probing; }
    uint32_t FailedAttempts() const { return failedAttempts_; }
    bool StallRebuildsStopped() const { return stallsStopped_; }
    // What happened since the last call that is worth one trace line.
    RecoveryNotice TakeNotice();

private:
    enum class State { Streaming, Probing, Broken, Lost, Ready, Done };

    void Break(RecoveryCause cause);
    bool Silent(uint64_t now, uint64_t forMs) const;
    void MaybeStall(uint64_t now);
    void BackOff(uint64_t now);
    void LookSoon(uint64_t now);

    const bool autoRecover_;
    const uint64_t stallMs_;
    const uint64_t quietMs_;
    State state_ = State::Streaming;
    RecoveryCause cause_ = RecoveryCause::None;
    StreamFacts facts_;  // as of the last Next
    uint64_t nextCheck_;
    uint64_t nextLook_ = 0;
    uint64_t lookInterval_ = FirstLookMs;
    uint64_t rebuildAt_ = 0;
    uint64_t backOffUntil_ = 0;
    uint32_t failedAttempts_ = 0;
    // Stall rebuilds since TS last flowed, and the sample count they saw.
    uint32_t uncuredStalls_ = 0;
    uint64_t stallSamples_ = 0;
    bool stallsStopped_ = false;
    RecoveryNotice notice_ = RecoveryNotice::None;
};
