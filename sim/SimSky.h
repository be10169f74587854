// SimSky: which transport streams the simulated satellites carry, and so
// which satellite tunes find a stream. The built-in sky is the driver's
// built-in plan, row for row; the 2025 sky is BS and CS110 as broadcast in
// January 2025 (sim/isdbs-transport-streams-2025.tsv, the data the shipped
// 2025 channel file holds too), which has moved on from that plan: streams
// were added and some changed their TSID, so a tune of the built-in BS3/TS1
// (0x4031) finds nothing there, as a real tuner would.
#pragma once

#include <cstdint>
#include <string>

#include "channels/ChannelPlan.h"

enum class SimSkyKind { BuiltIn, Year2025 };

class SimSky {
public:
    // "built-in" or "2025", as simreg names them.
    static const char* Name(SimSkyKind sky);
    // False (and *sky untouched) for any other name.
    static bool FromName(const std::string& name, SimSkyKind* sky);

    // Streams of satellite space 0 (BS) or 1 (CS110) on `sky`; 0 for any other space.
    static uint32_t Count(SimSkyKind sky, uint32_t space);
    // Stream `index` of that space in frequency and TSID order, named as
    // the built-in plan names its rows ("BS1/TS0": transponder 1, its first
    // stream by relative TS number; "ND2"); null past the end. Static storage.
    static const ChannelRow* Row(SimSkyKind sky, uint32_t space, uint32_t index);

    // The network a satellite stream belongs to, as broadcast: 4 for BS; for
    // CS110 6 for the TSIDs 0x6xxx and 7 for the others.
    static uint16_t NetworkId(uint32_t space, uint16_t tsid);
};
