// The tuner's hardware PID filter as the exports see it: 32 slots, each a PID
// with a reference count, so that several clients may ask for the same PID
// and the device list changes only when a PID enters or leaves. The class
// takes no lock; the exports call it under the process lock.
#pragma once

#include <cstdint>

constexpr int PidSlotCount = 32;
constexpr uint16_t EmptyPid = 0xFFFF;        // marks a free slot
constexpr uint16_t ResetPid = 0x1FFF;        // the only PID after a reset
constexpr uint16_t PidFilterOnPid = 0x1EEE;  // sent when the filter is switched on

// What the device receives: the PIDs in slot order, padded with EmptyPid.
struct PIDFilterMap {
    uint8_t NumberOfPIDInFilterMap;
    uint16_t PIDs[PidSlotCount];
};

enum class PIDMapChange {
    Failed,        // bad arguments; nothing was touched
    Unchanged,     // the device list stays as it is
    NeedToUpdate,  // a PID entered or left: send the list again
};

class PIDMap {
public:
    // The load state: every slot PID 0 with count 0, no PID counted. Adds do
    // nothing useful until the first Reset().
    PIDMap() = default;

    // Slot 0 = ResetPid (count 1), every other slot empty.
    void Reset();

    // Adds a reference to each of `count` PIDs, in order. Stops once 32 PIDs
    // are in the map; EmptyPid entries are skipped. Null `pids` with a
    // non-zero count fails.
    PIDMapChange Add(uint32_t count, const uint16_t* pids);

    // Drops a reference to each of `count` PIDs; a PID whose last reference
    // goes leaves its slot. Same argument rules as Add().
    PIDMapChange Remove(uint32_t count, const uint16_t* pids);

    // Fills `map` (the caller's) from the non-empty slots in slot order.
    void BuildFilterMap(PIDFilterMap* map) const;

    uint16_t SlotPid(int slot) const { return pids_[slot]; }
    uint16_t SlotCount(int slot) const { return counts_[slot]; }
    uint8_t CurrentNumberOfPIDInFilterMap() const { return current_; }
    // The 32-entry slot array, owned by the map and valid for its lifetime;
    // after Reset() its first entry is what the device is sent.
    const uint16_t* PidArray() const { return pids_; }

private:
    void AddOne(uint16_t pid, bool* changed);
    void RemoveOne(uint16_t pid, bool* changed);

    uint16_t pids_[PidSlotCount] = {};
    uint16_t counts_[PidSlotCount] = {};
    uint8_t current_ = 0;
};
