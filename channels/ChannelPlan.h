// The channel plan compiled into the driver: two networks, two tuning spaces
// each, and a constant table of channels per space. Every name and row pointer
// returned here belongs to the plan (static storage) and stays valid for the
// life of the process; callers never free them.
#pragma once

#include <cstdint>

#include "platform/TuneRequest.h"
#include "platform/PlatformTypes.h"

enum class Network { None, IsdbT, IsdbS };

// Units of the INI's "NetworkName" value, terminator included.
constexpr size_t NetworkNameCapacity = 16;

struct ChannelRow {
    const WideChar* Name;
    uint32_t Frequency;  // kHz, centre (ISDB-T) or downlink (ISDB-S)
    uint16_t Tsid;       // ISDB-S only; 0 for terrestrial rows
};

// "ISDBT" or "ISDBS", compared exactly over at most 16 units; anything else is None.
Network NetworkFromName(const WideChar* networkName);

// Name of space 0 or 1 of the network ("UFH", "CATV", "BS", "CS110"), or null.
const WideChar* TuningSpaceName(Network network, uint32_t space);

// Channel count of a space, 0 when there is no such space.
uint32_t ChannelCount(Network network, uint32_t space);

// The row of (network, space, channel), or null when any of them is out of range.
// Rows are constant for the life of the process.
const ChannelRow* LookupChannel(Network network, uint32_t space, uint32_t channel);

// The index (0 or 1) of the network's space called exactly `name` (`length`
// units, no terminator needed), or -1 when the network has no such space.
int32_t FindTuningSpace(Network network, const WideChar* name, size_t length);

// The centre (ISDB-T) or downlink (ISDB-S) frequencies a row of the space may
// have, in kHz, both ends included; false when there is no such space.
bool TuningSpaceBand(Network network, uint32_t space, uint32_t* lowKHz, uint32_t* highKHz);

// Fills a complete request (reserved bytes zero) for a row of the given space.
void FillTuneRequest(Network network, uint32_t space, const ChannelRow& row, TuneRequest* request);

constexpr uint32_t LnbLocalOscillatorKHz = 10678000;
