// The simulator's call log: every device operation (and every fault check a
// sim filter makes) appends one entry, with its arguments copied by value, so
// a test can see exactly what the driver sent and in which order, across all
// devices. Thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/PlatformTypes.h"
#include "platform/Locks.h"

// A device path or other host text as the COM side sees it (UTF-16).
using SimText = std::basic_string<WideChar>;

// Everything the log can record and a fault can be armed for. The first block
// mirrors TunerDeviceControl; the second holds the points at which the sim
// filters ask their device whether to fail; the third records what happened
// to a device (SimDeviceEvent, in the same order), which no fault can stop.
enum class SimOp : uint32_t {
    SetTunerMode,
    SetFrequency,
    GetSignalStatistics,
    SetTuneRequest,
    ReadRemoteControlKey,
    CheckLNBPowerCircuit,
    SetLNBPower,
    GetLNBPower,
    SetTransportStreanEncryptionFlag,
    ResetCard,
    GetCardStatus,
    TransmitCardCommand,
    EnablePidFilter,
    SetPidFilterList,
    FactoryModeWriteManufacturerProductSerialNumber,
    // Filter-side fault points (IBDA_Topology, pin connection, state changes).
    GetPinTypes,
    CreatePin,
    ConnectTunerInput,
    ConnectTunerOutput,
    Pause,
    Run,
    Stop,
    // The null terminal's (it belongs to no device: armed on the default one).
    ConnectTerminalInput,
    LeaveGraph,
    // What happened to the device (SimDevice::Apply).
    Unplug,
    Replug,
    Stall,
    Flow,
    NoSignal,
    Signal,
    Abort,
    SilentUnplug,
    Count  // number of operations, not an operation
};

// Name of the operation as written above ("SetFrequency"); static storage.
const char* SimOpName(SimOp op);

struct SimCall {
    uint64_t Sequence = 0;        // process-wide order, from 1, assigned by Append
    uint64_t TimeMs = 0;          // milliseconds since the log was made (steady clock),
                                  // assigned by Append; never falls in Sequence order
    SimOp Op = SimOp::Count;
    SimText Device;               // path of the device that was called
    std::vector<uint32_t> Values; // scalar arguments in declaration order
    std::vector<uint8_t> Bytes;   // bytes behind the pointer argument (TuneFrequency: 12,
                                  // TuneRequest: 64, PID list: count x 2 little-endian,
                                  // card command: length bytes); empty when none
    std::vector<uint8_t> Output;  // the card's answer as written (its two length bytes and
                                  // the body), for TransmitCardCommand on success
    HRESULT Result = S_OK;        // what the operation answered
};

class SimCallLog {
public:
    SimCallLog() = default;
    SimCallLog(const SimCallLog&) = delete;
    SimCallLog& operator=(const SimCallLog&) = delete;

    // Stamps the entry with the next sequence number and the time, and stores
    // a copy. Returns that sequence number.
    uint64_t Append(SimCall call);

    // Copies of the entries, oldest first; the caller owns the vector.
    std::vector<SimCall> Entries() const;
    // Copies of the entries of one operation, oldest first.
    std::vector<SimCall> Find(SimOp op) const;
    size_t Count(SimOp op) const;
    size_t Size() const;

    // Forgets every entry. Sequence numbers and times keep rising, so entries
    // taken before and after a Clear never share a number.
    void Clear();

private:
    mutable ReentrantLock lock_;
    const std::chrono::steady_clock::time_point created_ = std::chrono::steady_clock::now();
    std::vector<SimCall> entries_;
    uint64_t nextSequence_ = 1;
};
