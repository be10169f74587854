#include "driver/PIDMap.h"

#include "platform/Trace.h"

void PIDMap::Reset() {
    for (int slot = 0; slot < PidSlotCount; ++slot) {
        pids_[slot] = EmptyPid;
        counts_[slot] = 0;
    }
    pids_[0] = ResetPid;
    counts_[0] = 1;
    current_ = 1;
}

void PIDMap::AddOne(uint16_t pid, bool* changed) {
    int freeSlot = -1;
    for (int slot = 0; slot < PidSlotCount; ++slot) {
        if (pids_[slot] == pid) {
            ++counts_[slot];
            return;
        }
        if (pids_[slot] == EmptyPid && freeSlot < 0) freeSlot = slot;
    }
    if (freeSlot < 0) return;  // only before the first reset: no slot is free
    pids_[freeSlot] = pid;
    counts_[freeSlot] = 1;
    ++current_;
    *changed = true;
}

void PIDMap::RemoveOne(uint16_t pid, bool* changed) {
    for (int slot = 0; slot < PidSlotCount; ++slot) {
        if (pids_[slot] != pid) continue;
        if (counts_[slot] > 1) {
            --counts_[slot];
            return;
        }
        pids_[slot] = EmptyPid;
        counts_[slot] = 0;
        --current_;
        *changed = true;
        return;
    }
}

PIDMapChange PIDMap::Add(uint32_t count, const uint16_t* pids) {
    if (count != 0 && pids == nullptr) return PIDMapChange::Failed;
    bool changed = false;
    for (uint32_t i = 0; i < count && current_ < PidSlotCount; ++i) {
        // The free-slot marker is no PID; taking it would corrupt the count.
        if (pids[i] != EmptyPid) AddOne(pids[i], &changed);
    }
    Trace("(PIDMap::Add) PIDs in map, update", current_, changed);
    return changed ? PIDMapChange::NeedToUpdate : PIDMapChange::Unchanged;
}

PIDMapChange PIDMap::Remove(uint32_t count, const uint16_t* pids) {
    if (count != 0 && pids == nullptr) return PIDMapChange::Failed;
    bool changed = false;
    for (uint32_t i = 0; i < count && current_ > 0; ++i) {
        if (pids[i] != EmptyPid) RemoveOne(pids[i], &changed);
    }
    Trace("(PIDMap::Remove) PIDs in map, update", current_, changed);
    return changed ? PIDMapChange::NeedToUpdate : PIDMapChange::Unchanged;
}

void PIDMap::BuildFilterMap(PIDFilterMap* map) const {
    if (map == nullptr) return;
    uint8_t used = 0;
    for (int slot = 0; slot < PidSlotCount; ++slot) map->PIDs[slot] = EmptyPid;
    for (int slot = 0; slot < PidSlotCount; ++slot) {
        if (pids_[slot] != EmptyPid) map->PIDs[used++] = pids_[slot];
    }
    map->NumberOfPIDInFilterMap = used;
}
