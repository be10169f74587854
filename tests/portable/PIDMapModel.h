// An independent model of the PID map for the tests and the fuzzer: who
// holds which slot and how many references each PID has. New PIDs take the
// lowest free slot; before the first reset only PID 0 (slot 0) counts.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "driver/PIDMap.h"

struct PIDMapModel {
    bool loaded = false;     // false until the first reset
    uint16_t zeroCount = 0;  // before the reset: slot 0's count (PID 0)
    std::vector<uint16_t> slots = std::vector<uint16_t>(PidSlotCount, EmptyPid);
    std::map<uint16_t, uint16_t> refs;

    void Reset() {
        loaded = true;
        slots.assign(PidSlotCount, EmptyPid);
        refs.clear();
        slots[0] = ResetPid;
        refs[ResetPid] = 1;
    }
    PIDMapChange Add(const std::vector<uint16_t>& pids) {
        bool changed = false;
        for (uint16_t pid : pids) {
            if (!loaded) {
                if (pid == 0) ++zeroCount;
                continue;
            }
            if (refs.size() >= PidSlotCount) break;
            if (pid == EmptyPid) continue;
            if (refs.count(pid)) {
                ++refs[pid];
                continue;
            }
            for (auto& slot : slots) {
                if (slot != EmptyPid) continue;
                slot = pid;
                refs[pid] = 1;
                changed = true;
                break;
            }
        }
        return changed ? PIDMapChange::NeedToUpdate : PIDMapChange::Unchanged;
    }
    PIDMapChange Remove(const std::vector<uint16_t>& pids) {
        bool changed = false;
        for (uint16_t pid : pids) {
            if (!loaded || refs.empty()) break;
            auto it = refs.find(pid);
            if (pid == EmptyPid || it == refs.end()) continue;
            if (--it->second > 0) continue;
            refs.erase(it);
            for (auto& slot : slots)
                if (slot == pid) slot = EmptyPid;
            changed = true;
        }
        return changed ? PIDMapChange::NeedToUpdate : PIDMapChange::Unchanged;
    }
};
