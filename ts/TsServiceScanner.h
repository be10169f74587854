// TsServiceScanner: what a received transport stream says about itself, for
// channel scans and self-tests. Fed with bytes in chunks of any size, it
// reassembles the sections of the PAT (PID 0x0000), the NIT (0x0010) and the
// SDT (0x0011), keeps only those whose CRC checks, and reads the PAT's
// transport_stream_id, the actual network's name and the streams it
// announces (NIT, table 0x40; TsNitTable) and the
// services of the actual TS (SDT, table 0x42) with their names decoded from
// the ARIB 8-unit code, or in hex when they do not decode. Any input is safe:
// every read is bounds-checked, and malformed loops are read only as far as
// they are whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "ts/AribText.h"
#include "ts/TsNitTable.h"
#include "ts/TsPacketSync.h"
#include "ts/TsSectionAssembler.h"

struct TsScannedService {
    uint16_t ServiceId = 0;
    bool HasDescriptor = false;  // a service_descriptor was present
    uint8_t ServiceType = 0;     // from the service_descriptor (0x01 digital TV, ...)
    AribName Provider;
    AribName Name;
};

class TsServiceScanner {
public:
    static constexpr uint16_t PatPid = 0x0000;
    static constexpr uint16_t NitPid = 0x0010;
    static constexpr uint16_t SdtPid = 0x0011;

    void Feed(const uint8_t* data, size_t bytes);

    uint64_t Packets() const { return sync_.Packets(); }
    uint64_t SyncLosses() const { return sync_.SyncLosses(); }
    // Over the three PIDs: sections read, sections refused for their CRC,
    // continuity breaks.
    uint64_t Sections() const;
    uint64_t CrcErrors() const;
    uint64_t Discontinuities() const;

    bool HasPat() const { return hasPat_; }
    uint16_t TransportStreamId() const { return tsid_; }

    // True once every section of the SDT-actual's current version has arrived.
    bool HasSdt() const;
    uint16_t SdtTransportStreamId() const { return sdtTsid_; }
    uint16_t OriginalNetworkId() const { return originalNetworkId_; }
    // The services of the SDT sections received so far, by ascending service_id.
    std::vector<TsScannedService> Services() const;

    bool HasNit() const { return nitVersion_ >= 0; }
    uint16_t NetworkId() const { return networkId_; }
    bool HasNetworkName() const { return hasNetworkName_; }
    // Valid until the next Feed.
    const AribName& NetworkName() const { return networkName_; }
    // The NIT actual as far as it arrived; valid until the next Feed.
    const TsNitTable& Nit() const { return nitTable_; }
    // NIT sections lost on the way: refused for their CRC, and given up
    // under way (a lost packet, cut short by the next unit start, oversized).
    uint64_t NitCrcErrors() const { return nit_.CrcErrors(); }
    uint64_t NitSectionsCut() const { return nit_.Dropped(); }

private:
    void Packet(const uint8_t* packet);
    void Section(uint16_t pid, const std::vector<uint8_t>& section);
    void ReadPat(const std::vector<uint8_t>& section);
    void ReadNit(const std::vector<uint8_t>& section);
    void ReadSdt(const std::vector<uint8_t>& section);

    TsPacketSync sync_;
    TsSectionAssembler pat_, nit_, sdt_;
    bool hasPat_ = false;
    uint16_t tsid_ = 0;
    int sdtVersion_ = -1;
    uint8_t sdtLastSection_ = 0;
    uint16_t sdtTsid_ = 0, originalNetworkId_ = 0;
    std::map<uint8_t, std::vector<TsScannedService>> sdtSections_;  // by section_number
    int nitVersion_ = -1;
    uint16_t networkId_ = 0;
    bool hasNetworkName_ = false;
    AribName networkName_;
    TsNitTable nitTable_;
};
