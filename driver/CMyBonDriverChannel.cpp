// Tuning spaces, channels and the signal level. The network is chosen anew
// from NetworkName on every call; the tables are constant.
#include "driver/ChannelPlan.h"
#include "driver/CMyBonDriver.h"
#include "exports/DriverGlobals.h"
#include "exports/TesselExports.h"
#include "graph/MyFilterGraph.h"
#include "graph/SignalLevel.h"
#include "platform/Trace.h"

LPCWSTR CMyBonDriver::EnumTuningSpace(DWORD space) {
    Trace("(CMyBonDriver::EnumTuningSpace)");
    ScopedLock lock(DriverLock);
    return TuningSpaceName(NetworkFromName(NetworkName), space);
}

LPCWSTR CMyBonDriver::EnumChannelName(DWORD space, DWORD channel) {
    Trace("(CMyBonDriver::EnumChannelName)");
    ScopedLock lock(DriverLock);
    const ChannelRow* row = LookupChannel(NetworkFromName(NetworkName), space, channel);
    return row != nullptr ? row->Name : nullptr;
}

// Sends the row's request in its two operations; true when the device
// accepted both. Runs with DriverLock held.
bool CMyBonDriver::TuneRow(uint32_t space, uint32_t channel) {
    if (!IsOpen()) return false;
    Network network = NetworkFromName(NetworkName);
    const ChannelRow* row = LookupChannel(network, space, channel);
    if (row == nullptr) return false;
    TuneRequest request;
    FillTuneRequest(network, space, *row, &request);
    if (FAILED(CurrentGraph->SetFrequency(&request.Tail))) return false;
    return SUCCEEDED(CurrentGraph->SetTuneRequest(&request));
}

namespace {

// A new channel starts with a map holding only the null-packet PID. Called
// after DriverLock is released (the export takes it itself); a failed reset
// does not undo the tune, so its result is ignored.
void ResetPidFilterAfterTune() { TesselBonDriver_ResetHardwarePidFilter(); }

}  // namespace

BOOL CMyBonDriver::SetChannel(DWORD space, DWORD channel) {
    Trace("(CMyBonDriver::SetChannel)");
    bool tuned;
    {
        ScopedLock lock(DriverLock);
        tuned = TuneRow(space, channel);
        CurrentSpace = static_cast<int32_t>(space);
        CurrentChannel = static_cast<int32_t>(channel);
    }
    if (tuned) ResetPidFilterAfterTune();
    return tuned ? TRUE : FALSE;
}

BOOL CMyBonDriver::SetChannel(BYTE channel) {
    Trace("(CMyBonDriver::SetChannel)");
    bool tuned;
    {
        ScopedLock lock(DriverLock);
        // Before any two-argument SetChannel the space is -1, which no table has.
        tuned = TuneRow(static_cast<uint32_t>(CurrentSpace), channel);
        CurrentChannel = channel;
    }
    if (tuned) ResetPidFilterAfterTune();
    return tuned ? TRUE : FALSE;
}

DWORD CMyBonDriver::GetCurSpace() {
    Trace("(CMyBonDriver::GetCurSpace)");
    ScopedLock lock(DriverLock);
    return CurrentGraph == nullptr ? 0xFFFFFFFFu : static_cast<DWORD>(CurrentSpace);
}

DWORD CMyBonDriver::GetCurChannel() {
    Trace("(CMyBonDriver::GetCurChannel)");
    ScopedLock lock(DriverLock);
    return CurrentGraph == nullptr ? 0xFFFFFFFFu : static_cast<DWORD>(CurrentChannel);
}

float CMyBonDriver::GetSignalLevel() {
    float level = 0.0f;
    ScopedLock lock(DriverLock);
    if (!IsOpen()) return level;
    SignalStatistics statistics;
    if (FAILED(CurrentGraph->GetSignalStatistics(&statistics))) return level;
    return SignalLevelFromStatistics(statistics.Level, statistics.LevelHundredths);
}
