// The recovery thread's decisions over whole timelines: a device that goes
// and comes back, a stall with and without signal, rebuilds that keep
// failing, and self-recovery switched off. Times are milliseconds.
#include <gtest/gtest.h>

#include <vector>

#include "driver/RecoveryPlan.h"

namespace {

// Runs the plan as the thread does, answering each action with `answer`,
// until `until`; returns the times at which `wanted` was asked for. An
// action left unanswered (asked for twice at one time) ends the run.
template <class Answer>
std::vector<uint64_t> Drive(RecoveryPlan& plan, uint64_t from, uint64_t until,
                            const StreamFacts& facts, RecoveryAction wanted, Answer answer) {
    std::vector<uint64_t> times;
    for (uint64_t now = from; now <= until;) {
        const RecoveryAction action = plan.Next(now, facts);
        if (action == wanted) times.push_back(now);
        if (action != RecoveryAction::None) {
            answer(action, now);
            if (plan.Next(now, facts) == action) break;
            continue;
        }
        const uint64_t wait = plan.WaitMs(now);
        if (wait == RecoveryPlan::NoWait) break;
        now += wait == 0 ? 1 : wait;
    }
    return times;
}

}  // namespace

TEST(RecoveryPlan, UnpluggedDeviceIsLookedForUntilItIsBackThenRebuilt) {
    RecoveryPlan plan(true, 10, 0);
    const StreamFacts facts{0, true};
    EXPECT_EQ(plan.Next(500, facts), RecoveryAction::None);
    plan.DeviceLost(1000);
    ASSERT_EQ(plan.Next(1000, facts), RecoveryAction::TearDown);
    plan.TornDown(1000);
    EXPECT_TRUE(plan.Recovering());
    // The device is back at 20 s: looks come at most 2 s apart, never at
    // once one after another, and the rebuild follows the first look that
    // finds it.
    const uint64_t back = 20000;
    uint64_t rebuiltAt = 0;
    const std::vector<uint64_t> looks = Drive(
        plan, 1000, 40000, facts, RecoveryAction::LookForDevice,
        [&](RecoveryAction action, uint64_t now) {
            if (action == RecoveryAction::LookForDevice) plan.Looked(now >= back, now);
            if (action == RecoveryAction::Rebuild && rebuiltAt == 0) {
                rebuiltAt = now;
                plan.RebuildDone(RebuildResult::Rebuilt, now);
            }
            if (action == RecoveryAction::CheckSignal) plan.SignalRead(0.0f, now);
        });
    ASSERT_GE(looks.size(), 10u);
    EXPECT_GE(looks.front(), 2000u);
    for (size_t i = 1; i < looks.size(); ++i) {
        EXPECT_GE(looks[i] - looks[i - 1], RecoveryPlan::FirstLookMs);
        EXPECT_LE(looks[i] - looks[i - 1], RecoveryPlan::LookCapMs);
    }
    EXPECT_GE(rebuiltAt, back);
    EXPECT_LE(rebuiltAt, back + RecoveryPlan::LookCapMs);
    EXPECT_FALSE(plan.Recovering());
    EXPECT_EQ(plan.Cause(), RecoveryCause::DeviceLost);
}

TEST(RecoveryPlan, StallCountsOnlyWhenTunedAndWithSignal) {
    RecoveryPlan plan(true, 10, 0);
    // Not tuned: no sample for a minute is no stall.
    EXPECT_EQ(plan.Next(60000, StreamFacts{0, false}), RecoveryAction::None);
    // Tuned, last sample at 5 s: suspected at 15 s, not before.
    const StreamFacts tuned{5000, true};
    EXPECT_EQ(plan.Next(14999, tuned), RecoveryAction::None);
    ASSERT_EQ(plan.Next(15000, tuned), RecoveryAction::CheckSignal);
    // Without signal it is not a stall; the level is read again a second later.
    plan.SignalRead(0.0f, 15000);
    EXPECT_EQ(plan.Next(15500, tuned), RecoveryAction::None);
    EXPECT_FALSE(plan.Recovering());
    ASSERT_EQ(plan.Next(16000, tuned), RecoveryAction::CheckSignal);
    plan.SignalRead(18.5f, 16000);
    ASSERT_EQ(plan.Next(16000, tuned), RecoveryAction::TearDown);
    plan.TornDown(16000);
    EXPECT_EQ(plan.Cause(), RecoveryCause::Stalled);
    // The device is still there: the rebuild comes at once.
    EXPECT_EQ(plan.Next(16000, tuned), RecoveryAction::Rebuild);
    plan.RebuildDone(RebuildResult::Rebuilt, 16100);
    // Streaming again, with a fresh sample: no stall.
    EXPECT_EQ(plan.Next(17000, StreamFacts{16900, true}), RecoveryAction::None);
}

TEST(RecoveryPlan, FailingRebuildsBackOffToTenSecondsAndAMissingDeviceIsLookedFor) {
    RecoveryPlan plan(true, 0, 0);
    const StreamFacts facts{0, true};
    plan.StreamAborted(0);
    ASSERT_EQ(plan.Next(0, facts), RecoveryAction::TearDown);
    plan.TornDown(0);
    const std::vector<uint64_t> attempts = Drive(
        plan, 0, 60000, facts, RecoveryAction::Rebuild, [&](RecoveryAction action, uint64_t now) {
            if (action == RecoveryAction::Rebuild)
                plan.RebuildDone(now < 30000 ? RebuildResult::Failed : RebuildResult::Blocked, now);
        });
    ASSERT_GE(attempts.size(), 6u);
    EXPECT_EQ(attempts[0], 0u) << "the first attempt comes at once";
    EXPECT_EQ(attempts[1] - attempts[0], RecoveryPlan::FirstBackOffMs);
    EXPECT_EQ(attempts[2] - attempts[1], 2 * RecoveryPlan::FirstBackOffMs);
    for (size_t i = 1; i < attempts.size(); ++i) {
        EXPECT_GE(attempts[i] - attempts[i - 1], RecoveryPlan::FirstBackOffMs);
        EXPECT_LE(attempts[i] - attempts[i - 1], RecoveryPlan::BackOffCapMs);
    }
    EXPECT_EQ(attempts.back() - attempts[attempts.size() - 2], RecoveryPlan::BackOffCapMs);
    // A rebuild that finds the device gone goes back to looking for it.
    plan.RebuildDone(RebuildResult::Failed, 60000);
    const uint64_t next = 60000 + plan.WaitMs(60000);
    ASSERT_EQ(plan.Next(next, facts), RecoveryAction::Rebuild);
    plan.RebuildDone(RebuildResult::DeviceMissing, next);
    EXPECT_EQ(plan.Next(next, facts), RecoveryAction::None);
    EXPECT_EQ(plan.Next(next + RecoveryPlan::FirstLookMs, facts), RecoveryAction::LookForDevice);
}

TEST(RecoveryPlan, DeviceBackUnderTheGraphOrWhileLookingRebuildsAtOnce) {
    RecoveryPlan plan(true, 0, 0);
    const StreamFacts facts{0, true};
    plan.DeviceBack(100);  // replugged under a graph that still holds it
    ASSERT_EQ(plan.Next(100, facts), RecoveryAction::TearDown);
    plan.TornDown(100);
    EXPECT_EQ(plan.Next(100, facts), RecoveryAction::Rebuild);
    plan.RebuildDone(RebuildResult::DeviceMissing, 100);
    plan.DeviceBack(300);  // an event of the old graph still says so
    EXPECT_EQ(plan.Next(300, facts), RecoveryAction::Rebuild);
}

TEST(RecoveryPlan, WithoutAutoRecoverNothingIsEverDone) {
    RecoveryPlan plan(false, 10, 0);
    const StreamFacts facts{0, true};
    plan.DeviceLost(10);
    EXPECT_EQ(plan.Cause(), RecoveryCause::DeviceLost);
    plan.StreamAborted(20);
    for (uint64_t now = 0; now < 120000; now += 500) ASSERT_EQ(plan.Next(now, facts), RecoveryAction::None);
    EXPECT_EQ(plan.WaitMs(0), RecoveryPlan::NoWait);
    EXPECT_FALSE(plan.Recovering());
}
