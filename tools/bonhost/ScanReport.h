// What `bonhost scan` found on each channel, and the two forms it leaves:
// the table on the terminal and the JSON file. Plain text work, kept apart
// from the Windows side so it builds and is tested anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ts/TsNitTable.h"

// An SDT service beside its name in ScanRow::Services: what a tuner server's
// channel list keys it by.
struct ScanService {
    uint16_t Id = 0;
    uint8_t Type = 0;  // service_type: 0x01 digital TV, 0xAD ...
};

struct ScanRow {
    uint32_t Space = 0;
    std::string SpaceName;
    uint32_t Channel = 0;
    std::string ChannelName;
    bool Tuned = false;       // SetChannel succeeded
    double Signal = 0;        // GetSignalLevel at the end of the dwell
    bool Locked = false;      // TS arrived
    bool HasTsid = false;     // a PAT arrived
    uint16_t Tsid = 0;
    std::string NetworkName;  // NIT network name, empty when none arrived
    std::vector<std::string> Services;  // SDT service names (UTF-8, or the bytes in hex)
    double Mbps = 0;          // 0 when too little arrived to measure
    std::vector<ScanService> ServiceDetails;  // of Services, in the same order
    // The NIT actual as far as it arrived, and its sections lost on the way
    // (NitChannels works from them; neither table nor JSON shows them).
    TsNitTable Nit;
    uint64_t NitCrcErrors = 0;
    uint64_t NitSectionsCut = 0;
};

class ScanReport {
public:
    // A JSON array with one object per row (one a line), in scan order, with
    // exactly the keys space, spaceName, channel, channelName, signal, locked,
    // tsid (null without a PAT), services and mbps; signal and mbps with two
    // decimals. Bytes that are not UTF-8 in a name become U+FFFD.
    static std::string Json(const std::vector<ScanRow>& rows);

    // The table: channels with a signal or a stream first, each group in scan
    // order, then a line counting the channels that locked.
    static std::string Table(const std::vector<ScanRow>& rows);
};
