#include "driver/RecoveryPlan.h"

#include <algorithm>

RecoveryPlan::RecoveryPlan(bool autoRecover, uint32_t stallSeconds, uint64_t now)
    : autoRecover_(autoRecover),
      stallMs_(uint64_t{stallSeconds} * 1000),
      nextStallCheck_(now) {}

void RecoveryPlan::Break(RecoveryCause cause) {
    cause_ = cause;
    if (autoRecover_) state_ = State::Broken;
}

void RecoveryPlan::DeviceLost(uint64_t now) {
    if (state_ == State::Streaming) return Break(RecoveryCause::DeviceLost);
    // Lost while rebuilding or waiting to: look for it again first.
    if (state_ == State::Ready) {
        state_ = State::Lost;
        nextLook_ = now + FirstLookMs;
    }
}

void RecoveryPlan::DeviceBack(uint64_t now) {
    // Back under the graph that still holds its old filter: that filter is
    // dead, a new graph is needed at once.
    if (state_ == State::Streaming) return Break(RecoveryCause::DeviceBack);
    if (state_ == State::Lost) {
        state_ = State::Ready;
        rebuildAt_ = now;
    }
}

void RecoveryPlan::StreamAborted(uint64_t) {
    if (state_ == State::Streaming) Break(RecoveryCause::StreamAborted);
}

bool RecoveryPlan::StallDue(uint64_t now, const StreamFacts& facts) const {
    return stallMs_ != 0 && facts.Tuned && now >= nextStallCheck_ &&
           now - std::min(now, facts.LastSampleMs) >= stallMs_;
}

RecoveryAction RecoveryPlan::Next(uint64_t now, const StreamFacts& facts) {
    switch (state_) {
        case State::Streaming:
            return autoRecover_ && StallDue(now, facts) ? RecoveryAction::CheckSignal
                                                        : RecoveryAction::None;
        case State::Broken:
            return RecoveryAction::TearDown;
        case State::Lost:
            return now >= nextLook_ ? RecoveryAction::LookForDevice : RecoveryAction::None;
        case State::Ready:
            return now >= rebuildAt_ ? RecoveryAction::Rebuild : RecoveryAction::None;
    }
    return RecoveryAction::None;
}

uint64_t RecoveryPlan::WaitMs(uint64_t now) const {
    auto until = [now](uint64_t due) { return due > now ? due - now : 0; };
    switch (state_) {
        case State::Streaming:
            return autoRecover_ && stallMs_ != 0 ? std::max(until(nextStallCheck_), StallCheckMs)
                                                 : NoWait;
        case State::Broken:
            return 0;
        case State::Lost:
            return until(nextLook_);
        case State::Ready:
            return until(rebuildAt_);
    }
    return NoWait;
}

void RecoveryPlan::TornDown(uint64_t now) {
    failedAttempts_ = 0;
    lookInterval_ = FirstLookMs;
    if (cause_ == RecoveryCause::DeviceLost) {
        state_ = State::Lost;
        nextLook_ = now + FirstLookMs;
    } else {
        state_ = State::Ready;
        rebuildAt_ = now;
    }
}

void RecoveryPlan::SignalRead(float level, uint64_t now) {
    nextStallCheck_ = now + StallCheckMs;
    if (level > 0.0f) Break(RecoveryCause::Stalled);
}

void RecoveryPlan::Looked(bool found, uint64_t now) {
    if (state_ != State::Lost) return;
    if (found) {
        state_ = State::Ready;
        rebuildAt_ = now;
        return;
    }
    lookInterval_ = std::min(lookInterval_ + FirstLookMs / 2, LookCapMs);
    nextLook_ = now + lookInterval_;
}

void RecoveryPlan::RebuildDone(RebuildResult result, uint64_t now) {
    if (state_ != State::Ready) return;
    switch (result) {
        case RebuildResult::Rebuilt:
            state_ = State::Streaming;
            failedAttempts_ = 0;
            nextStallCheck_ = now;
            return;
        case RebuildResult::DeviceMissing:
            state_ = State::Lost;
            lookInterval_ = FirstLookMs;
            nextLook_ = now + FirstLookMs;
            return;
        case RebuildResult::Failed:
        case RebuildResult::Blocked: {
            const uint32_t doublings = std::min<uint32_t>(failedAttempts_, 8);
            ++failedAttempts_;
            rebuildAt_ = now + std::min(FirstBackOffMs << doublings, BackOffCapMs);
            return;
        }
    }
}
