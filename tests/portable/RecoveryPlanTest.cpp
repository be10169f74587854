// The recovery thread's decisions over whole timelines: a device that goes
// and comes back (with or without an event), a stall with and without
// signal, stalls that rebuilds do not cure, rebuilds that keep failing, the
// host's PID filter, and self-recovery switched off. Times are milliseconds.
#include <gtest/gtest.h>

#include <algorithm>
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
    const StreamFacts facts{0, 0, true};
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
            if (action == RecoveryAction::CheckSignal) plan.SignalRead(true, 0.0f, now);
        });
    ASSERT_GE(looks.size(), 10u);
    EXPECT_GE(looks.front(), 2000u);
    // Looks grow from 1 s to 2 s apart, then stay there.
    EXPECT_EQ(looks[1] - looks[0], RecoveryPlan::FirstLookMs + RecoveryPlan::LookStepMs);
    EXPECT_EQ(looks[2] - looks[1], RecoveryPlan::LookCapMs);
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
    EXPECT_EQ(plan.Next(60000, StreamFacts{0, 0, false}), RecoveryAction::None);
    // Tuned, last sample at 5 s: the signal is read from 7 s on, once a
    // second, but a stall is due at 15 s, not before.
    const StreamFacts tuned{5000, 40, true};
    EXPECT_EQ(plan.Next(6999, tuned), RecoveryAction::None);
    ASSERT_EQ(plan.Next(7000, tuned), RecoveryAction::CheckSignal);
    plan.SignalRead(true, 18.5f, 7000);
    EXPECT_FALSE(plan.Recovering());
    EXPECT_EQ(plan.Next(7500, tuned), RecoveryAction::None);
    // Without signal it is not a stall; the level is read again a second later.
    ASSERT_EQ(plan.Next(15000, tuned), RecoveryAction::CheckSignal);
    plan.SignalRead(true, 0.0f, 15000);
    EXPECT_EQ(plan.Next(15500, tuned), RecoveryAction::None);
    EXPECT_FALSE(plan.Recovering());
    ASSERT_EQ(plan.Next(16000, tuned), RecoveryAction::CheckSignal);
    plan.SignalRead(true, 18.5f, 16000);
    ASSERT_EQ(plan.Next(16000, tuned), RecoveryAction::TearDown);
    plan.TornDown(16000);
    EXPECT_EQ(plan.Cause(), RecoveryCause::Stalled);
    // The device is still there: the rebuild comes at once.
    EXPECT_EQ(plan.Next(16000, tuned), RecoveryAction::Rebuild);
    plan.RebuildDone(RebuildResult::Rebuilt, 16100);
    // Streaming again, with a fresh sample: no stall.
    EXPECT_EQ(plan.Next(17000, StreamFacts{16900, 41, true}), RecoveryAction::None);
}

// Some USB drivers just stop: no event, no TS, and the signal call fails.
// Gone from the device list, it is a loss (looked for, rebuilt once back);
// still listed, it is a stall, due only after StallSeconds.
TEST(RecoveryPlan, SilentDeviceWhoseCallsFailIsLookedForAndRecovered) {
    RecoveryPlan plan(true, 10, 0);
    const StreamFacts silent{1000, 7, true};
    ASSERT_EQ(plan.Next(3000, silent), RecoveryAction::CheckSignal);
    plan.SignalRead(false, 0.0f, 3000);
    ASSERT_EQ(plan.Next(3000, silent), RecoveryAction::LookForDevice) << "looked for at once";
    EXPECT_EQ(plan.WaitMs(3000), 0u);
    plan.Looked(false, 3000);
    ASSERT_EQ(plan.Next(3000, silent), RecoveryAction::TearDown);
    EXPECT_EQ(plan.Cause(), RecoveryCause::DeviceVanished);
    plan.TornDown(3000);
    EXPECT_EQ(plan.Next(3500, silent), RecoveryAction::None);
    ASSERT_EQ(plan.Next(4000, silent), RecoveryAction::LookForDevice);
    plan.Looked(true, 4000);
    ASSERT_EQ(plan.Next(4000, silent), RecoveryAction::Rebuild);
    plan.RebuildDone(RebuildResult::Rebuilt, 4100);
    EXPECT_FALSE(plan.Recovering());

    // Listed, but not answering: no rebuild before StallSeconds of silence.
    const StreamFacts quiet{20000, 9, true};
    ASSERT_EQ(plan.Next(22000, quiet), RecoveryAction::CheckSignal);
    plan.SignalRead(false, 0.0f, 22000);
    ASSERT_EQ(plan.Next(22000, quiet), RecoveryAction::LookForDevice);
    plan.Looked(true, 22000);
    EXPECT_FALSE(plan.Recovering()) << "a failed call from a listed device is only a failed call";
    EXPECT_EQ(plan.Next(22500, quiet), RecoveryAction::None);
    ASSERT_EQ(plan.Next(30000, quiet), RecoveryAction::CheckSignal);
    plan.SignalRead(false, 0.0f, 30000);
    ASSERT_EQ(plan.Next(30000, quiet), RecoveryAction::LookForDevice);
    plan.Looked(true, 30000);
    ASSERT_EQ(plan.Next(30000, quiet), RecoveryAction::TearDown);
    EXPECT_EQ(plan.Cause(), RecoveryCause::Stalled);
}

// Two rebuilds in a row that bring no TS stop the stall rebuilds; the first
// sample after that starts them again. The host's PID filter switched on
// makes silence no stall at all, while a loss still recovers.
TEST(RecoveryPlan, UncuredStallsStopRebuildingAndTheHostsFilterIsNoStall) {
    RecoveryPlan plan(true, 1, 0);
    StreamFacts facts{0, 100, true};
    uint64_t now = 1000;
    int rebuilds = 0;
    for (int round = 0; round < 5; ++round, now += 1000) {
        facts.LastSampleMs = now - 1000;  // the rebuild's fresh start, then nothing
        if (plan.Next(now, facts) != RecoveryAction::CheckSignal) continue;
        plan.SignalRead(true, 20.0f, now);
        if (plan.Next(now, facts) != RecoveryAction::TearDown) continue;
        plan.TornDown(now);
        ASSERT_EQ(plan.Next(now, facts), RecoveryAction::Rebuild);
        plan.RebuildDone(RebuildResult::Rebuilt, now);
        ++rebuilds;
    }
    EXPECT_EQ(rebuilds, 2);
    EXPECT_TRUE(plan.StallRebuildsStopped());
    EXPECT_EQ(plan.TakeNotice(), RecoveryNotice::StallRebuildsStopped);
    EXPECT_EQ(plan.TakeNotice(), RecoveryNotice::None);
    // TS flows again: a later stall is rebuilt again.
    facts.Samples = 101;
    facts.LastSampleMs = now;
    EXPECT_EQ(plan.Next(now, facts), RecoveryAction::None);
    EXPECT_FALSE(plan.StallRebuildsStopped());
    EXPECT_EQ(plan.TakeNotice(), RecoveryNotice::StallRebuildsResumed);
    now += 2000;
    ASSERT_EQ(plan.Next(now, facts), RecoveryAction::CheckSignal);
    plan.SignalRead(true, 20.0f, now);
    EXPECT_EQ(plan.Next(now, facts), RecoveryAction::TearDown);

    RecoveryPlan filtered(true, 1, 0);
    const StreamFacts hostFilter{0, 5, true, true};
    for (uint64_t t = 2000; t < 30000; t += 1000) {
        ASSERT_EQ(filtered.Next(t, hostFilter), RecoveryAction::CheckSignal);
        filtered.SignalRead(true, 20.0f, t);
        ASSERT_FALSE(filtered.Recovering()) << "silence under the host's filter is no stall";
    }
    filtered.SignalRead(false, 0.0f, 30000);
    filtered.Next(30000, hostFilter);
    filtered.Looked(false, 30000);
    EXPECT_EQ(filtered.Next(30000, hostFilter), RecoveryAction::TearDown);
    EXPECT_EQ(filtered.Cause(), RecoveryCause::DeviceVanished);
}

TEST(RecoveryPlan, FailingRebuildsBackOffToTenSecondsAndAMissingDeviceIsLookedFor) {
    RecoveryPlan plan(true, 0, 0);
    const StreamFacts facts{0, 0, true};
    plan.StreamAborted(0);
    ASSERT_EQ(plan.Next(0, facts), RecoveryAction::TearDown);
    plan.TornDown(0);
    const std::vector<uint64_t> attempts = Drive(
        plan, 0, 60000, facts, RecoveryAction::Rebuild, [&](RecoveryAction action, uint64_t now) {
            if (action == RecoveryAction::Rebuild)
                plan.RebuildDone(now < 30000 ? RebuildResult::Failed : RebuildResult::GraphKeptAside, now);
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
    // Found at once, it waits for the back-off all the same.
    plan.Looked(true, next + RecoveryPlan::FirstLookMs);
    EXPECT_EQ(plan.Next(next + RecoveryPlan::FirstLookMs, facts), RecoveryAction::None);
    EXPECT_EQ(plan.Next(next + RecoveryPlan::BackOffCapMs, facts), RecoveryAction::Rebuild);
    // A successful rebuild starts the back-off afresh: 1.5 s at the next failure.
    plan.RebuildDone(RebuildResult::Rebuilt, 80000);
    plan.StreamAborted(90000);
    ASSERT_EQ(plan.Next(90000, facts), RecoveryAction::TearDown);
    plan.TornDown(90000);
    ASSERT_EQ(plan.Next(90000, facts), RecoveryAction::Rebuild);
    plan.RebuildDone(RebuildResult::Failed, 90000);
    EXPECT_EQ(plan.WaitMs(90000), RecoveryPlan::FirstBackOffMs);
}

// A device that is listed but fails its calls fails every rebuild, now as
// missing, now as failed: the attempts back off all the same instead of a
// full rebuild every second.
TEST(RecoveryPlan, ListedDeviceThatFailsItsCallsIsNotRebuiltEverySecond) {
    RecoveryPlan plan(true, 0, 0);
    const StreamFacts facts{0, 0, true};
    plan.StreamAborted(0);
    plan.Next(0, facts);
    plan.TornDown(0);
    bool missing = true;
    const std::vector<uint64_t> attempts = Drive(
        plan, 0, 120000, facts, RecoveryAction::Rebuild, [&](RecoveryAction action, uint64_t now) {
            if (action == RecoveryAction::LookForDevice) plan.Looked(true, now);
            if (action == RecoveryAction::Rebuild) {
                plan.RebuildDone(missing ? RebuildResult::DeviceMissing : RebuildResult::Failed, now);
                missing = !missing;
            }
        });
    ASSERT_GE(attempts.size(), 8u);
    uint64_t last = 0;
    for (size_t i = 1; i < attempts.size(); ++i) {
        const uint64_t gap = attempts[i] - attempts[i - 1];
        EXPECT_GE(gap, std::max<uint64_t>(last, RecoveryPlan::FirstBackOffMs)) << "attempt " << i;
        EXPECT_LE(gap, RecoveryPlan::BackOffCapMs + RecoveryPlan::LookCapMs);
        last = std::min(gap, RecoveryPlan::BackOffCapMs);
    }
    EXPECT_LE(attempts.size(), 14u);
}

TEST(RecoveryPlan, DeviceBackUnderTheGraphOrWhileLookingRebuildsAtOnce) {
    RecoveryPlan plan(true, 0, 0);
    const StreamFacts facts{0, 0, true};
    plan.DeviceBack(100);  // replugged under a graph that still holds it
    ASSERT_EQ(plan.Next(100, facts), RecoveryAction::TearDown);
    plan.TornDown(100);
    EXPECT_EQ(plan.Next(100, facts), RecoveryAction::Rebuild);
    plan.RebuildDone(RebuildResult::DeviceMissing, 100);
    // An event of the old graph says it is back: rebuilt as soon as the
    // failed attempt's back-off allows, without waiting for the next look.
    plan.DeviceBack(300);
    EXPECT_EQ(plan.Next(300, facts), RecoveryAction::None);
    EXPECT_EQ(plan.Next(100 + RecoveryPlan::FirstBackOffMs, facts), RecoveryAction::Rebuild);
    // Closed meanwhile: nothing more is ever done.
    plan.RebuildDone(RebuildResult::NotWanted, 2000);
    EXPECT_EQ(plan.Next(60000, facts), RecoveryAction::None);
    EXPECT_EQ(plan.WaitMs(2000), RecoveryPlan::NoWait);
}

TEST(RecoveryPlan, WithoutAutoRecoverNothingIsEverDone) {
    RecoveryPlan plan(false, 10, 0);
    const StreamFacts facts{0, 0, true};
    plan.DeviceLost(10);
    EXPECT_EQ(plan.Cause(), RecoveryCause::DeviceLost);
    plan.StreamAborted(20);
    for (uint64_t now = 0; now < 120000; now += 500) ASSERT_EQ(plan.Next(now, facts), RecoveryAction::None);
    EXPECT_EQ(plan.WaitMs(0), RecoveryPlan::NoWait);
    EXPECT_FALSE(plan.Recovering());
}
