#include "sim/SimCallLog.h"

#include <utility>

const char* SimOpName(SimOp op) {
    static const char* const names[] = {
        "SetTunerMode", "SetFrequency", "GetSignalStatistics", "SetTuneRequest",
        "ReadRemoteControlKey", "CheckLNBPowerCircuit", "SetLNBPower", "GetLNBPower",
        "SetTransportStreanEncryptionFlag", "ResetCard", "GetCardStatus",
        "TransmitCardCommand", "EnablePidFilter", "SetPidFilterList",
        "FactoryModeWriteManufacturerProductSerialNumber", "GetPinTypes", "CreatePin",
        "ConnectTunerInput", "ConnectTunerOutput", "Pause", "Run", "Stop", "ConnectTerminalInput",
        "LeaveGraph", "Unplug", "Replug", "Stall", "Flow", "NoSignal", "Signal", "Abort",
        "SilentUnplug"};
    static_assert(sizeof(names) / sizeof(names[0]) == static_cast<size_t>(SimOp::Count),
                  "one name per operation");
    const size_t index = static_cast<size_t>(op);
    return index < static_cast<size_t>(SimOp::Count) ? names[index] : "?";
}

uint64_t SimCallLog::Append(SimCall call) {
    ScopedLock hold(lock_);
    call.Sequence = nextSequence_++;
    call.TimeMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - created_)
                                            .count());
    entries_.push_back(std::move(call));
    return entries_.back().Sequence;
}

std::vector<SimCall> SimCallLog::Entries() const {
    ScopedLock hold(lock_);
    return entries_;
}

std::vector<SimCall> SimCallLog::Find(SimOp op) const {
    ScopedLock hold(lock_);
    std::vector<SimCall> found;
    for (const SimCall& call : entries_)
        if (call.Op == op) found.push_back(call);
    return found;
}

size_t SimCallLog::Count(SimOp op) const {
    ScopedLock hold(lock_);
    size_t count = 0;
    for (const SimCall& call : entries_)
        if (call.Op == op) ++count;
    return count;
}

size_t SimCallLog::Size() const {
    ScopedLock hold(lock_);
    return entries_.size();
}

void SimCallLog::Clear() {
    ScopedLock hold(lock_);
    entries_.clear();
}
