#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <vector>

#include "driver/PIDMap.h"
#include "tests/portable/PIDMapModel.h"

namespace {

std::vector<uint16_t> ListOf(const PIDMap& map, int* count) {
    PIDFilterMap filter;
    filter.NumberOfPIDInFilterMap = 0xEE;
    for (auto& pid : filter.PIDs) pid = 0x1234;
    map.BuildFilterMap(&filter);
    *count = filter.NumberOfPIDInFilterMap;
    return std::vector<uint16_t>(filter.PIDs, filter.PIDs + PidSlotCount);
}

std::vector<uint16_t> Padded(std::vector<uint16_t> pids) {
    pids.resize(PidSlotCount, EmptyPid);
    return pids;
}

PIDMapChange Add(PIDMap& map, std::vector<uint16_t> pids) {
    return map.Add(static_cast<uint32_t>(pids.size()), pids.data());
}

PIDMapChange Remove(PIDMap& map, std::vector<uint16_t> pids) {
    return map.Remove(static_cast<uint32_t>(pids.size()), pids.data());
}

// Fills every slot after a reset: 0x1FFF plus 31 more.
void Fill(PIDMap& map) {
    map.Reset();
    std::vector<uint16_t> pids;
    for (uint16_t pid = 0x100; pid < 0x100 + PidSlotCount - 1; ++pid) pids.push_back(pid);
    ASSERT_EQ(Add(map, pids), PIDMapChange::NeedToUpdate);
    ASSERT_EQ(map.CurrentNumberOfPIDInFilterMap(), PidSlotCount);
}

}  // namespace

TEST(PIDMapBasics, LoadStateIsAllZero) {
    PIDMap map;
    for (int slot = 0; slot < PidSlotCount; ++slot) {
        EXPECT_EQ(map.SlotPid(slot), 0);
        EXPECT_EQ(map.SlotCount(slot), 0);
    }
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 0);
}

TEST(PIDMapBasics, ResetLeavesOnlyTheResetPid) {
    PIDMap map;
    Add(map, {0});
    map.Reset();
    int count = 0;
    EXPECT_EQ(ListOf(map, &count), Padded({0x1FFF}));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 1);
    EXPECT_EQ(map.PidArray()[0], 0x1FFF);
    EXPECT_EQ(map.SlotCount(0), 1);
    for (int slot = 1; slot < PidSlotCount; ++slot) {
        EXPECT_EQ(map.SlotPid(slot), EmptyPid);
        EXPECT_EQ(map.SlotCount(slot), 0);
    }
}

TEST(PIDMapBasics, AddTwoNewPidsInOneCall) {
    PIDMap map;
    map.Reset();
    EXPECT_EQ(Add(map, {0x0100, 0x0111}), PIDMapChange::NeedToUpdate);
    EXPECT_EQ(map.SlotPid(1), 0x0100);
    EXPECT_EQ(map.SlotPid(2), 0x0111);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 3);
    int count = 0;
    EXPECT_EQ(ListOf(map, &count), Padded({0x1FFF, 0x0100, 0x0111}));
    EXPECT_EQ(count, 3);
}

TEST(PIDMapBasics, ReferencesAreCountedWithoutSending) {
    PIDMap map;
    map.Reset();
    Add(map, {0x0100});
    EXPECT_EQ(Add(map, {0x0100, 0x0100}), PIDMapChange::Unchanged);
    EXPECT_EQ(map.SlotCount(1), 3);
    EXPECT_EQ(Remove(map, {0x0100}), PIDMapChange::Unchanged);
    EXPECT_EQ(map.SlotCount(1), 2);
    EXPECT_EQ(Remove(map, {0x0100, 0x0100}), PIDMapChange::NeedToUpdate);
    EXPECT_EQ(map.SlotPid(1), EmptyPid);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 1);
}

TEST(PIDMapBasics, EmptyRequestsAndUnknownPidsLeaveTheListUnchanged) {
    PIDMap map;
    map.Reset();
    EXPECT_EQ(map.Add(0, nullptr), PIDMapChange::Unchanged);
    EXPECT_EQ(map.Remove(0, nullptr), PIDMapChange::Unchanged);
    EXPECT_EQ(Remove(map, {0x0222}), PIDMapChange::Unchanged);
    int count = 0;
    EXPECT_EQ(ListOf(map, &count), Padded({0x1FFF}));
}

TEST(PIDMapBasics, RemovingTheResetPidEmptiesTheList) {
    PIDMap map;
    map.Reset();
    EXPECT_EQ(Remove(map, {0x1FFF}), PIDMapChange::NeedToUpdate);
    int count = -1;
    EXPECT_EQ(ListOf(map, &count), Padded({}));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 0);
    // An empty map ignores further removals.
    EXPECT_EQ(Remove(map, {0x1FFF}), PIDMapChange::Unchanged);
}

TEST(PIDMapBasics, FreedSlotIsReusedFirst) {
    PIDMap map;
    map.Reset();
    Add(map, {0x0100, 0x0111, 0x0122});
    Remove(map, {0x0100});
    EXPECT_EQ(Add(map, {0x0133}), PIDMapChange::NeedToUpdate);
    EXPECT_EQ(map.SlotPid(1), 0x0133);
    int count = 0;
    EXPECT_EQ(ListOf(map, &count), Padded({0x1FFF, 0x0133, 0x0111, 0x0122}));
}

TEST(PIDMapBasics, FullMapIgnoresEveryAdd) {
    PIDMap map;
    Fill(map);
    EXPECT_EQ(Add(map, {0x0200}), PIDMapChange::Unchanged);
    EXPECT_EQ(Add(map, {0x0100}), PIDMapChange::Unchanged);
    EXPECT_EQ(map.SlotCount(1), 1);  // even an existing PID is not counted
    // Removal still works and frees the slot for the next add.
    EXPECT_EQ(Remove(map, {0x0105}), PIDMapChange::NeedToUpdate);
    EXPECT_EQ(Add(map, {0x0200, 0x0201, 0x0100}), PIDMapChange::NeedToUpdate);
    EXPECT_EQ(map.SlotPid(6), 0x0200);
    EXPECT_EQ(map.SlotCount(1), 1);  // the map filled again before 0x0100
}

TEST(PIDMapBasics, BeforeTheFirstResetOnlyPidZeroCounts) {
    PIDMap map;
    EXPECT_EQ(Add(map, {0x0100, 0x1FFF}), PIDMapChange::Unchanged);
    EXPECT_EQ(Add(map, {0}), PIDMapChange::Unchanged);
    EXPECT_EQ(map.SlotCount(0), 1);
    EXPECT_EQ(map.SlotCount(1), 0);
    EXPECT_EQ(Remove(map, {0}), PIDMapChange::Unchanged);  // map count is 0
    EXPECT_EQ(map.SlotCount(0), 1);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 0);
}

TEST(PIDMapMends, EmptyMarkerIsIgnored) {
    PIDMap map;
    map.Reset();
    EXPECT_EQ(Add(map, {EmptyPid, 0x0100, EmptyPid}), PIDMapChange::NeedToUpdate);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 2);
    EXPECT_EQ(map.SlotPid(1), 0x0100);
    EXPECT_EQ(map.SlotCount(2), 0);
    EXPECT_EQ(Remove(map, {EmptyPid}), PIDMapChange::Unchanged);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 2);
    EXPECT_EQ(map.SlotPid(2), EmptyPid);
}

TEST(PIDMapMends, NullListFailsWithoutTouching) {
    PIDMap map;
    map.Reset();
    Add(map, {0x0100});
    EXPECT_EQ(map.Add(3, nullptr), PIDMapChange::Failed);
    EXPECT_EQ(map.Remove(1, nullptr), PIDMapChange::Failed);
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 2);
    EXPECT_EQ(map.SlotCount(1), 1);
}

namespace {

using Model = PIDMapModel;

void ExpectAgrees(const PIDMap& map, const Model& model, const std::string& where) {
    SCOPED_TRACE(where);
    int listCount = 0;
    const std::vector<uint16_t> list = ListOf(map, &listCount);
    if (!model.loaded) {
        EXPECT_EQ(map.SlotCount(0), model.zeroCount);
        EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), 0);
        return;
    }
    std::set<uint16_t> seen;
    std::vector<uint16_t> expected;
    for (int slot = 0; slot < PidSlotCount; ++slot) {
        const uint16_t pid = map.SlotPid(slot);
        ASSERT_EQ(pid, model.slots[slot]) << "slot " << slot;
        if (pid == EmptyPid) {
            EXPECT_EQ(map.SlotCount(slot), 0) << "slot " << slot;
            continue;
        }
        EXPECT_TRUE(seen.insert(pid).second) << "PID twice: " << pid;
        EXPECT_GE(map.SlotCount(slot), 1) << "slot " << slot;
        EXPECT_EQ(map.SlotCount(slot), model.refs.at(pid)) << "slot " << slot;
        expected.push_back(pid);
    }
    EXPECT_EQ(map.CurrentNumberOfPIDInFilterMap(), seen.size());
    EXPECT_EQ(listCount, static_cast<int>(seen.size()));
    EXPECT_EQ(list, Padded(expected));
}

uint16_t RandomPid(std::mt19937& random) {
    static const uint16_t special[] = {0, 0x1FFF, EmptyPid, PidFilterOnPid};
    if (random() % 8 == 0) return special[random() % 4];
    return static_cast<uint16_t>(0x100 + random() % 40);  // enough to fill the map
}

}  // namespace

TEST(PIDMapModel, RandomOperationSequences) {
    for (uint32_t seed : {1u, 2u, 3u, 77u, 20240611u}) {
        std::mt19937 random(seed);
        PIDMap map;
        Model model;
        for (int op = 0; op < 4000 && !HasFatalFailure(); ++op) {
            const uint32_t kind = random() % 100;
            if (kind < 2 || (!model.loaded && kind < 10)) {
                map.Reset();
                model.Reset();
                ExpectAgrees(map, model, "reset " + std::to_string(op));
                continue;
            }
            std::vector<uint16_t> pids(random() % 9);
            for (auto& pid : pids) pid = RandomPid(random);
            if (!pids.empty() && random() % 3 == 0) pids.push_back(pids[0]);
            const uint32_t count = static_cast<uint32_t>(pids.size());
            PIDMapChange got, want;
            if (kind < 4) {
                got = map.Add(count + 1, nullptr);
                want = PIDMapChange::Failed;
            } else if (kind < 55) {
                got = map.Add(count, pids.data());
                want = model.Add(pids);
            } else {
                got = map.Remove(count, pids.data());
                want = model.Remove(pids);
            }
            EXPECT_EQ(got, want) << "seed " << seed << " op " << op;
            ExpectAgrees(map, model, "seed " + std::to_string(seed) + " op " + std::to_string(op));
        }
    }
}
