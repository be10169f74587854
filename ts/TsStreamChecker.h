// TsStreamChecker: a small MPEG-2 TS parser for tests and the command-line
// host. Takes bytes in any chunking, resynchronises on 0x47 after garbage,
// checks continuity counters per PID, checks the CRC of single-packet PSI
// sections (PAT, PMT, SDT) and reads the service they describe, and follows
// the counters TsGenerator writes into its elementary packets to find lost,
// duplicated and reordered packets. Every read is bounds-checked; any input
// is safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ts/TsPacketSync.h"

struct TsPidReport {
    uint64_t Packets = 0;
    uint64_t CcErrors = 0;        // continuity counter jumps (beyond one allowed duplicate)
    uint64_t CcDuplicates = 0;    // packets repeated with the same counter (allowed once)
    uint64_t CounterPackets = 0;  // packets carrying the generator's counters
    uint64_t CounterGaps = 0;     // times the per-PID counter jumped forward
    uint64_t CounterMissing = 0;  // packets those jumps skipped
    uint64_t CounterDuplicates = 0;
    uint64_t CounterReorders = 0;  // counter went backwards
};

class TsStreamChecker {
public:
    static constexpr size_t PacketSize = 188;

    void Feed(const uint8_t* data, size_t bytes);

    uint64_t Bytes() const { return bytes_; }
    uint64_t Packets() const { return sync_.Packets(); }
    uint64_t SyncLosses() const { return sync_.SyncLosses(); }
    uint64_t SkippedBytes() const { return sync_.SkippedBytes(); }
    uint64_t TransportErrors() const { return transportErrors_; }
    // Bytes held back because they do not yet make a whole packet.
    size_t PartialBytes() const { return sync_.PartialBytes(); }

    // Sums over all PIDs.
    uint64_t CcErrors() const;
    uint64_t CounterPackets() const;
    uint64_t CounterGaps() const;
    uint64_t CounterDuplicates() const;
    uint64_t CounterReorders() const;
    // Generator packets whose stream index did not rise above the last one seen.
    uint64_t IndexRegressions() const { return indexRegressions_; }

    // Report of one PID, or null if it never appeared. Owned by the checker;
    // valid until the next Feed.
    const TsPidReport* Pid(uint16_t pid) const;
    // PIDs seen, ascending.
    std::vector<uint16_t> Pids() const;

    // PSI. Only sections that fit in the packet that starts them are read.
    uint64_t SectionsChecked() const { return sectionsChecked_; }
    uint64_t SectionCrcErrors() const { return crcErrors_; }
    bool HasPat() const { return hasPat_; }
    uint16_t PatTsid() const { return patTsid_; }
    uint16_t ProgramNumber() const { return programNumber_; }
    uint16_t PmtPid() const { return pmtPid_; }
    bool HasPmt() const { return hasPmt_; }
    uint16_t PcrPid() const { return pcrPid_; }
    std::vector<uint16_t> ElementaryPids() const { return elementaryPids_; }
    bool HasSdt() const { return hasSdt_; }
    uint16_t SdtTsid() const { return sdtTsid_; }
    // The SDT's service name in UTF-8, or its bytes in hex when they do not decode.
    std::string ServiceName() const { return serviceName_; }
    uint64_t PcrCount() const { return pcrCount_; }

    // No sync loss, transport error, CC error, CRC error, counter fault.
    bool Clean() const;

private:
    // The total of one report field over every PID seen.
    uint64_t SumOverPids(uint64_t TsPidReport::*field) const;
    struct PidState {
        TsPidReport Report;
        int LastCc = -1;
        bool Duplicated = false;
        bool HasCounter = false;
        uint32_t LastCounter = 0;
    };

    void Packet(const uint8_t* packet);
    void Continuity(PidState& state, const uint8_t* packet);
    void Counters(PidState& state, const uint8_t* payload, size_t size);
    void Section(uint16_t pid, const uint8_t* payload, size_t size);
    void ReadPat(const uint8_t* section, size_t size);
    void ReadPmt(const uint8_t* section, size_t size);
    void ReadSdt(const uint8_t* section, size_t size);

    std::map<uint16_t, PidState> pids_;
    TsPacketSync sync_;
    uint64_t bytes_ = 0, transportErrors_ = 0;
    bool hasIndex_ = false;
    uint64_t lastIndex_ = 0, indexRegressions_ = 0;
    uint64_t sectionsChecked_ = 0, crcErrors_ = 0, pcrCount_ = 0;
    bool hasPat_ = false, hasPmt_ = false, hasSdt_ = false;
    uint16_t patTsid_ = 0, programNumber_ = 0, pmtPid_ = 0, pcrPid_ = 0, sdtTsid_ = 0;
    std::vector<uint16_t> elementaryPids_;
    std::string serviceName_;
};
