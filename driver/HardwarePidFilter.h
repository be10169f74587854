// The tuner's hardware PID filter over the process-wide PID map. Every
// operation holds DriverLock from the open-tuner test to its last device
// call, so the map and the list the device last received change together.
// The map lives until the process ends: closing the tuner does not clear it.
// Each returns 1 when it succeeded, 0 without an open tuner, for a null list
// of PIDs (nothing touched then) or when the device refused.
#pragma once

#include <cstdint>

class HardwarePidFilter {
public:
    // Switches the filter; switching on also sends the one-PID "on" list.
    static int32_t Enable(int32_t enable);
    // Back to the map holding only the null-packet PID, sent to the device.
    // The driver calls it after every successful tune.
    static int32_t Reset();
    // Adds or removes references to `count` PIDs and sends the compacted
    // list when a PID entered or left the map. `traces` names the export.
    struct ChangeTraces {
        const char* NeedToUpdate;
        const char* CurrentNumber;
        const char* Number;
    };
    static int32_t Add(uint8_t count, const uint16_t* pids, const ChangeTraces& traces);
    static int32_t Remove(uint8_t count, const uint16_t* pids, const ChangeTraces& traces);
    // Gives a graph rebuilt after a loss what the old one's device had: the
    // switch the host last set, then the one-PID "on" list when nothing has
    // sent the map since the filter went on, else the map as it stands (the
    // host's PIDs stay). A reset still due after a tune is made instead. 1
    // when the device took all of it (or there was nothing to send).
    static int32_t Restore();
    // A tune succeeded, or is wished for while the tuner is lost: the reset
    // that follows it is due until it reaches the device. Under DriverLock.
    static void ResetDue();

private:
    static int32_t ResetOn(class MyFilterGraph* graph);
    static int32_t Change(bool add, uint8_t count, const uint16_t* pids,
                          const ChangeTraces& traces);
};
