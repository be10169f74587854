// One transport stream as a network's NIT announces it, with what its
// descriptors say: TsNitSections writes these, TsNitTable reads them back.
#pragma once

#include <cstdint>
#include <vector>

// satellite_delivery_system_descriptor (0x43), decoded from its BCD fields.
struct TsSatelliteDelivery {
    uint32_t FrequencyKHz = 0;       // the downlink, carried in units of 10 kHz
    uint16_t OrbitalPosition = 1100; // tenths of a degree: 110.0
    bool East = true;
    uint8_t Polarisation = 0;        // 0 horizontal, 1 vertical, 2 left, 3 right circular
    uint8_t Modulation = 0x08;       // 0x08: ISDB-S, as its TMCC says
    uint32_t SymbolRate = 288600;    // units of 100 symbols/s: 28.86 Msymbol/s
    uint8_t FecInner = 0x0F;         // 0x0F: as the TMCC says
};

struct TsNitService {
    uint16_t ServiceId = 0;
    uint8_t ServiceType = 0x01;  // digital television
};

struct TsNitStream {
    uint16_t Tsid = 0;
    uint16_t OriginalNetworkId = 0;
    bool HasSatellite = false;  // a satellite delivery descriptor came (or goes) with it
    TsSatelliteDelivery Satellite;
    std::vector<TsNitService> Services;  // its service_list_descriptor
};
