#include "sim/SimFaults.h"

size_t SimFaults::Index(SimOp op) {
    const size_t index = static_cast<size_t>(op);
    return index < static_cast<size_t>(SimOp::Count) ? index : 0;
}

void SimFaults::Arm(SimOp op, HRESULT code, uint32_t times) {
    if (op >= SimOp::Count) return;
    Slot& slot = slots_[Index(op)];
    slot.Code = code;
    slot.Remaining = times;
}

void SimFaults::Disarm(SimOp op) { Arm(op, S_OK, 0); }

void SimFaults::Clear() { slots_.fill(Slot{}); }

bool SimFaults::Take(SimOp op, HRESULT* code) {
    if (op >= SimOp::Count) return false;
    Slot& slot = slots_[Index(op)];
    if (slot.Remaining == 0) return false;
    if (slot.Remaining != SimFaultAlways) --slot.Remaining;
    ++slot.Fired;
    *code = slot.Code;
    return true;
}

uint32_t SimFaults::Fired(SimOp op) const {
    return op < SimOp::Count ? slots_[Index(op)].Fired : 0;
}

uint32_t SimFaults::Remaining(SimOp op) const {
    return op < SimOp::Count ? slots_[Index(op)].Remaining : 0;
}
