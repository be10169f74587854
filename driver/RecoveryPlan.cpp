#include "driver/RecoveryPlan.h"

#include <algorithm>

RecoveryPlan::RecoveryPlan(bool autoRecover, uint32_t stallSeconds, uint64_t now)
    : autoRecover_(autoRecover),
      stallMs_(uint64_t{stallSeconds} * 1000),
      quietMs_(stallMs_ != 0 ? std::min(stallMs_, QuietCheckMs) : QuietCheckMs),
      nextCheck_(now) {}

void RecoveryPlan::Break(RecoveryCause cause) {
    cause_ = cause;
    if (autoRecover_) state_ = State::Broken;
}

void RecoveryPlan::DeviceLost(uint64_t now) {
    if (state_ == State::Streaming || state_ == State::Probing) return Break(RecoveryCause::DeviceLost);
    // Lost while rebuilding or waiting to: look for it again first.
    if (state_ == State::Ready) {
        state_ = State::Lost;
        LookSoon(now);
    }
}

void RecoveryPlan::DeviceBack(uint64_t now) {
    // Back under the graph that still holds its old filter: that filter is
    // dead, a new graph is needed at once.
    if (state_ == State::Streaming || state_ == State::Probing) return Break(RecoveryCause::DeviceBack);
    if (state_ == State::Lost) {
        state_ = State::Ready;
        rebuildAt_ = std::max(now, backOffUntil_);
    }
}

void RecoveryPlan::StreamAborted(uint64_t) {
    if (state_ == State::Streaming || state_ == State::Probing) Break(RecoveryCause::StreamAborted);
}

bool RecoveryPlan::Silent(uint64_t now, uint64_t forMs) const {
    return facts_.Tuned && now - std::min(now, facts_.LastSampleMs) >= forMs;
}

RecoveryAction RecoveryPlan::Next(uint64_t now, const StreamFacts& facts) {
    facts_ = facts;
    if (!autoRecover_) return RecoveryAction::None;
    switch (state_) {
        case State::Streaming:
            if (stallsStopped_ && facts.Samples != stallSamples_) {
                stallsStopped_ = false;
                uncuredStalls_ = 0;
                notice_ = RecoveryNotice::StallRebuildsResumed;
            }
            return now >= nextCheck_ && Silent(now, quietMs_) ? RecoveryAction::CheckSignal
                                                               : RecoveryAction::None;
        case State::Probing:
            return RecoveryAction::LookForDevice;
        case State::Broken:
            return RecoveryAction::TearDown;
        case State::Lost:
            return now >= nextLook_ ? RecoveryAction::LookForDevice : RecoveryAction::None;
        case State::Ready:
            return now >= rebuildAt_ ? RecoveryAction::Rebuild : RecoveryAction::None;
        case State::Done:
            return RecoveryAction::None;
    }
    return RecoveryAction::None;
}

uint64_t RecoveryPlan::WaitMs(uint64_t now) const {
    if (!autoRecover_) return NoWait;
    auto until = [now](uint64_t due) { return due > now ? due - now : 0; };
    switch (state_) {
        case State::Streaming:
            return std::max(until(nextCheck_), StallCheckMs);
        case State::Probing:
        case State::Broken:
            return 0;
        case State::Lost:
            return until(nextLook_);
        case State::Ready:
            return until(rebuildAt_);
        case State::Done:
            return NoWait;
    }
    return NoWait;
}

void RecoveryPlan::TornDown(uint64_t now) {
    if (state_ != State::Broken) return;
    // A new loss: the back-off of the last one is over.
    failedAttempts_ = 0;
    backOffUntil_ = 0;
    lookInterval_ = FirstLookMs;
    if (cause_ == RecoveryCause::DeviceLost || cause_ == RecoveryCause::DeviceVanished) {
        state_ = State::Lost;
        LookSoon(now);
    } else {
        state_ = State::Ready;
        rebuildAt_ = now;
    }
}

void RecoveryPlan::SignalRead(bool read, float level, uint64_t now) {
    if (state_ != State::Streaming) return;
    nextCheck_ = now + StallCheckMs;
    // A device that cannot answer may have left without telling anyone.
    if (!read) {
        state_ = State::Probing;
        return;
    }
    if (level > 0.0f) MaybeStall(now);
}

// Silence with signal (or from a device that is listed but does not answer).
void RecoveryPlan::MaybeStall(uint64_t now) {
    if (stallMs_ == 0 || facts_.HostFilterOn || stallsStopped_ || !Silent(now, stallMs_)) return;
    if (facts_.Samples != stallSamples_) uncuredStalls_ = 0;
    stallSamples_ = facts_.Samples;
    if (uncuredStalls_ >= UncuredStallRebuilds) {
        stallsStopped_ = true;
        notice_ = RecoveryNotice::StallRebuildsStopped;
        return;
    }
    ++uncuredStalls_;
    Break(RecoveryCause::Stalled);
}

void RecoveryPlan::Looked(bool found, uint64_t now) {
    if (state_ == State::Probing) {
        state_ = State::Streaming;
        if (!found) return Break(RecoveryCause::DeviceVanished);
        return MaybeStall(now);
    }
    if (state_ != State::Lost) return;
    if (found) {
        state_ = State::Ready;
        rebuildAt_ = std::max(now, backOffUntil_);
        return;
    }
    lookInterval_ = std::min(lookInterval_ + LookStepMs, LookCapMs);
    nextLook_ = now + lookInterval_;
}

void RecoveryPlan::LookSoon(uint64_t now) {
    lookInterval_ = FirstLookMs;
    nextLook_ = now + FirstLookMs;
}

void RecoveryPlan::BackOff(uint64_t now) {
    const uint32_t doublings = std::min<uint32_t>(failedAttempts_, 8);
    ++failedAttempts_;
    backOffUntil_ = now + std::min(FirstBackOffMs << doublings, BackOffCapMs);
    rebuildAt_ = backOffUntil_;
}

void RecoveryPlan::RebuildDone(RebuildResult result, uint64_t now) {
    if (state_ != State::Ready) return;
    switch (result) {
        case RebuildResult::Rebuilt:
            state_ = State::Streaming;
            failedAttempts_ = 0;
            backOffUntil_ = 0;
            nextCheck_ = now;
            return;
        case RebuildResult::DeviceMissing:
            // Looked for every second or two; rebuilt once found and the
            // back-off has passed.
            BackOff(now);
            state_ = State::Lost;
            LookSoon(now);
            return;
        case RebuildResult::Failed:
        case RebuildResult::GraphKeptAside:
            BackOff(now);
            return;
        case RebuildResult::NotWanted:
            state_ = State::Done;
            return;
    }
}

RecoveryNotice RecoveryPlan::TakeNotice() {
    const RecoveryNotice notice = notice_;
    notice_ = RecoveryNotice::None;
    return notice;
}
