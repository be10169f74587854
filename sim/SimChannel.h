// Which row a tune lands on (of the built-in plan for ISDB-T, of the sky's
// streams for ISDB-S: SimSky), and the fixed facts the simulator derives
// from that row (TSID, service, names, default signal level, the NIT).
#pragma once

#include <cstdint>
#include <string>

#include "channels/ChannelPlan.h"
#include "platform/TuneRequest.h"
#include "sim/SimSky.h"
#include "ts/TsGenerator.h"

struct SimChannel {
    Network Net = Network::None;
    uint32_t Space = 0;
    uint32_t Index = 0;
    SimSkyKind Sky = SimSkyKind::BuiltIn;  // the sky a satellite row is of
    const ChannelRow* Row = nullptr;  // constant plan or sky row (static storage)
    uint16_t Tsid = 0;                // the TS's transport_stream_id
    uint16_t ServiceId = 0;
    uint16_t OriginalNetworkId = 0;
};

// ISDB-T (SystemType 0, Bandwidth 6): a UHF or CATV row whose centre frequency
// equals Frequency. ISDB-S (SystemType 3 = BS, 4 = CS110, Bandwidth 9): the
// stream of that space on `sky` whose downlink equals Frequency + 10678000
// and whose TSID equals the low 16 bits of Tsid. Anything else resolves to
// nothing (false).
bool ResolveSimChannel(const TuneRequest& request, SimSkyKind sky, SimChannel* channel);
inline bool ResolveSimChannel(const TuneRequest& request, SimChannel* channel) {
    return ResolveSimChannel(request, SimSkyKind::BuiltIn, channel);
}

// Terrestrial and cable rows carry no TSID in the plan; their TS uses
// 0x7000 + (centre frequency in MHz, truncated), e.g. 473143 kHz -> 0x71D9.
uint16_t TerrestrialTsid(uint32_t frequencyKHz);

// Default signal statistics of a channel: terrestrial rows report a positive
// Level 18..32 with hundredths; satellite rows report the negative encoding
// Level = -656 * k (k 78..87, shown by the driver as 12..21 dB) with hundredths.
void DefaultSignal(const SimChannel& channel, int32_t* level, int32_t* levelHundredths);

// The names the channel's stream carries, in UTF-8 and within what the ARIB
// encoder takes: the service is a Japanese word for its tuning space and the
// row's name ("地デジ試験 13ch", "ＢＳ試験 BS7/TS1"); the provider is one for
// every channel, the network name one per network (original_network_id).
std::string SimServiceName(const SimChannel& channel);
// The row's name in UTF-8 ("13ch", "BS1/TS0"), as channel sources name it.
std::string SimChannelName(const SimChannel& channel);
std::string SimProviderName();
std::string SimNetworkName(const SimChannel& channel);

// What the channel's stream says about itself: TSID, service and names as
// above; a satellite stream's NIT lists every stream of its network on its
// sky, each with its service and its satellite delivery (downlink).
TsServiceInfo SimServiceInfo(const SimChannel& channel);
