// Per-operation fault injection for one simulated device. A fault is a result
// code armed for the next N calls of one operation (or for every call). The
// device consults it after logging the call: a failure code makes the device
// skip the operation (out-values untouched); a success code such as S_FALSE
// lets the operation run and replaces its result. Not locked: the owning
// SimDevice serialises access.
#pragma once

#include <array>
#include <cstdint>

#include "platform/PlatformTypes.h"
#include "sim/SimCallLog.h"

// Pass as `times` to arm a fault for every call until disarmed.
constexpr uint32_t SimFaultAlways = 0xFFFFFFFFu;

class SimFaults {
public:
    // Replaces whatever was armed for `op`. times 0 disarms.
    void Arm(SimOp op, HRESULT code, uint32_t times);
    void Disarm(SimOp op);
    void Clear();

    // When a fault is armed for `op`: uses up one of its calls, stores its code
    // in *code and returns true. Otherwise returns false and leaves *code.
    bool Take(SimOp op, HRESULT* code);

    // How many times a fault fired for `op` since the last Clear.
    uint32_t Fired(SimOp op) const;
    // Calls left of the fault armed for `op` (SimFaultAlways, or 0 when none).
    uint32_t Remaining(SimOp op) const;

private:
    struct Slot {
        HRESULT Code = S_OK;
        uint32_t Remaining = 0;
        uint32_t Fired = 0;
    };
    static size_t Index(SimOp op);
    std::array<Slot, static_cast<size_t>(SimOp::Count)> slots_{};
};
