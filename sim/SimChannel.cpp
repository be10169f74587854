#include "sim/SimChannel.h"

namespace {

constexpr uint32_t FrequencyMultiplierKHz = 1000;
constexpr uint32_t IsdbTBandwidth = 6;
constexpr uint32_t IsdbSBandwidth = 9;
constexpr uint16_t TerrestrialNetworkId = 0x7FE0;
constexpr uint8_t RightHandCircular = 3;  // BS
constexpr uint8_t LeftHandCircular = 2;   // CS110

// The row of a terrestrial space with that centre frequency.
bool FindTerrestrial(uint32_t space, uint32_t frequency, SimChannel* channel) {
    for (uint32_t index = 0; index < ChannelCount(Network::IsdbT, space); ++index) {
        const ChannelRow* row = LookupChannel(Network::IsdbT, space, index);
        if (!row || row->Frequency != frequency) continue;
        channel->Net = Network::IsdbT;
        channel->Space = space;
        channel->Index = index;
        channel->Row = row;
        return true;
    }
    return false;
}

// The stream of a satellite space on `sky` with that downlink and TSID.
bool FindSatellite(SimSkyKind sky, uint32_t space, uint32_t downlink, uint16_t tsid, SimChannel* channel) {
    for (uint32_t index = 0; index < SimSky::Count(sky, space); ++index) {
        const ChannelRow* row = SimSky::Row(sky, space, index);
        if (row->Frequency != downlink || row->Tsid != tsid) continue;
        channel->Net = Network::IsdbS;
        channel->Sky = sky;
        channel->Space = space;
        channel->Index = index;
        channel->Row = row;
        return true;
    }
    return false;
}

// A word per tuning space (UHF, CATV, BS, CS110) of kanji with katakana or
// full-width letters, so each name needs both the Kanji and the alphanumeric set.
const char* SpaceWord(Network network, uint32_t space) {
    if (network == Network::IsdbT) return space == 0 ? "地デジ試験" : "ケーブル試験";
    return space == 0 ? "ＢＳ試験" : "ＣＳ試験";
}

// Service ids differ between every row of one network.
uint16_t ServiceIdOf(uint32_t space, uint32_t index) {
    return static_cast<uint16_t>(0x0400 + (space << 7) + index);
}

}  // namespace

uint16_t TerrestrialTsid(uint32_t frequencyKHz) {
    return static_cast<uint16_t>(0x7000 + frequencyKHz / 1000);
}

bool ResolveSimChannel(const TuneRequest& request, SimSkyKind sky, SimChannel* channel) {
    SimChannel found;
    const TuneFrequency& tail = request.Tail;
    if (tail.FrequencyMultiplier != FrequencyMultiplierKHz) return false;
    if (request.SystemType == SystemTypeIsdbT) {
        if (tail.Bandwidth != IsdbTBandwidth) return false;
        if (!FindTerrestrial(0, tail.Frequency, &found) && !FindTerrestrial(1, tail.Frequency, &found))
            return false;
        found.Tsid = TerrestrialTsid(tail.Frequency);
        found.OriginalNetworkId = TerrestrialNetworkId;
    } else if (request.SystemType == SystemTypeIsdbSBs ||
               request.SystemType == SystemTypeIsdbSCs110) {
        if (tail.Bandwidth != IsdbSBandwidth || request.Tsid > 0xFFFF) return false;
        if (tail.Frequency > 0xFFFFFFFFu - LnbLocalOscillatorKHz) return false;
        const uint32_t space = request.SystemType == SystemTypeIsdbSBs ? 0 : 1;
        if (!FindSatellite(sky, space, tail.Frequency + LnbLocalOscillatorKHz,
                           static_cast<uint16_t>(request.Tsid), &found))
            return false;
        found.Tsid = found.Row->Tsid;
        found.OriginalNetworkId = SimSky::NetworkId(space, found.Tsid);
    } else {
        return false;
    }
    found.ServiceId = ServiceIdOf(found.Space, found.Index);
    *channel = found;
    return true;
}

void DefaultSignal(const SimChannel& channel, int32_t* level, int32_t* levelHundredths) {
    const int32_t index = static_cast<int32_t>(channel.Index);
    if (channel.Net == Network::IsdbS) {
        *level = -656 * (78 + index % 10);
        *levelHundredths = (index * 13) % 100;
    } else {
        *level = 18 + index % 15;
        *levelHundredths = (index * 37) % 100;
    }
}

std::string SimServiceName(const SimChannel& channel) {
    if (!channel.Row) return std::string();
    return std::string(SpaceWord(channel.Net, channel.Space)) + " " + SimChannelName(channel);
}

std::string SimChannelName(const SimChannel& channel) {
    std::string name;
    if (!channel.Row) return name;
    for (const WideChar* c = channel.Row->Name; *c; ++c)
        name.push_back(*c < 0x80 ? static_cast<char>(*c) : '?');
    return name;
}

std::string SimProviderName() { return "てっせる放送"; }

std::string SimNetworkName(const SimChannel& channel) {
    if (channel.Net == Network::IsdbT) return "地上デジタル";
    return channel.Space == 0 ? "ＢＳデジタル" : "ＣＳデジタル";
}

TsServiceInfo SimServiceInfo(const SimChannel& channel) {
    TsServiceInfo service;
    service.Tsid = channel.Tsid;
    service.ServiceId = channel.ServiceId;
    service.OriginalNetworkId = channel.OriginalNetworkId;
    service.Name = SimServiceName(channel);
    service.ProviderName = SimProviderName();
    service.NetworkName = SimNetworkName(channel);
    if (channel.Net != Network::IsdbS) return service;
    for (uint32_t index = 0; index < SimSky::Count(channel.Sky, channel.Space); ++index) {
        const ChannelRow* row = SimSky::Row(channel.Sky, channel.Space, index);
        if (SimSky::NetworkId(channel.Space, row->Tsid) != channel.OriginalNetworkId) continue;
        TsNitStream stream;
        stream.Tsid = row->Tsid;
        stream.OriginalNetworkId = channel.OriginalNetworkId;
        stream.HasSatellite = true;
        stream.Satellite.FrequencyKHz = row->Frequency;
        stream.Satellite.Polarisation = channel.Space == 0 ? RightHandCircular : LeftHandCircular;
        stream.Services.push_back(TsNitService{ServiceIdOf(channel.Space, index), 0x01});
        service.NetworkStreams.push_back(stream);
    }
    return service;
}
