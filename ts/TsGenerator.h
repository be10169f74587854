// TsGenerator: the transport stream a simulated tuner delivers for one tune.
//
// A fixed cycle of 100 packets: PAT, PMT and SDT open each cycle, then three
// elementary PIDs take turns, with every tenth slot (9, 19, ...) set aside:
// the NIT's packets take them in turn from slot 9 on, a NIT longer than ten
// packets going on in the next cycle, and the rest of them are null
// packets. Names travel in the ARIB 8-unit code. Every
// elementary packet starts a one-packet PES (stream_id 0xBD, PTS) whose data
// begins with the marker "TSIM", a 32-bit per-PID packet counter and the
// 64-bit index of the packet in the whole stream (all big-endian), so a
// checker can find any lost, duplicated or reordered packet. PCR rides on the
// first elementary PID every PcrIntervalMs of nominal stream time. The output
// is a pure function of the service and of the bytes already taken, so the
// same tune always yields the same stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ts/TsNitStream.h"
#include "ts/TsSource.h"

// Names are UTF-8. One that AribText cannot encode is sent empty; one too
// long for the one-packet section is cut after its last whole character
// that fits (service 64 bytes encoded, provider 32, network 64).
struct TsServiceInfo {
    uint16_t Tsid = 0;               // PAT / SDT / NIT transport_stream_id
    uint16_t ServiceId = 1;          // the one program
    uint16_t OriginalNetworkId = 0;  // SDT original_network_id, NIT network_id
    std::string Name;                // SDT service name
    std::string ProviderName = "Tessel Sim";  // SDT service provider name
    std::string NetworkName;         // NIT network name; empty: no network_name_descriptor
    // The NIT's transport stream loop, every stream of the network (this one
    // included); empty: this stream alone with its service, no delivery
    // descriptor. Long loops span several packets and sections.
    std::vector<TsNitStream> NetworkStreams;
};

class TsGenerator : public TsSource {
public:
    static constexpr size_t PacketSize = 188;
    static constexpr uint16_t PatPid = 0x0000;
    static constexpr uint16_t NitPid = 0x0010;
    static constexpr uint16_t SdtPid = 0x0011;
    static constexpr uint16_t PmtPid = 0x0100;
    static constexpr uint16_t FirstElementaryPid = 0x0111;  // also the PCR PID
    static constexpr uint16_t ElementaryPidCount = 3;
    static constexpr uint16_t NullPid = 0x1FFF;
    static constexpr uint32_t CycleLength = 100;  // packets between PSI repeats
    static constexpr uint32_t PcrIntervalMs = 30;
    static constexpr uint64_t DefaultBitRate = 16000000;

    // `nominalBitRate` (bits/s, 0 = DefaultBitRate) sets the PCR/PTS clock.
    TsGenerator(const TsServiceInfo& service, uint64_t nominalBitRate);

    // The hardware PID filter: when on, only packets whose PID is listed are
    // delivered (the others are still counted as generated, so the stream's
    // packet indices and PCR times do not change with the filter).
    void SetPidFilter(bool on, const std::vector<uint16_t>& pids) override;

    // Writes the next bytes of the stream, continuing exactly where the last
    // call stopped (sizes need not be multiples of 188). Returns `bytes`, or,
    // when the PID filter lets none of the stream's PIDs through, only the
    // rest of the packet under way (possibly 0).
    size_t Generate(uint8_t* out, size_t bytes);
    size_t Read(uint8_t* out, size_t bytes) override { return Generate(out, bytes); }

    // Bytes of the packet under way not yet handed out (0 at a boundary).
    size_t PendingBytes() const override;
    // Writes at most `bytes` of the packet under way; returns the count.
    size_t DrainPending(uint8_t* out, size_t bytes) override;

    // Packets generated so far (filtered ones included).
    uint64_t PacketIndex() const { return packetIndex_; }
    // True when `pid` is one the stream carries.
    static bool CarriesPid(uint16_t pid);

    // The one-packet SDT-actual section and the NIT-actual sections (CRC
    // included) this generator sends for `service`; the replay of a clip
    // sends the same.
    static std::vector<uint8_t> SdtSection(const TsServiceInfo& service);
    static std::vector<std::vector<uint8_t>> NitSections(const TsServiceInfo& service);

private:
    void NextPacket(uint8_t* packet);
    void WritePsi(uint8_t* packet, uint16_t pid, const std::vector<uint8_t>& section);
    void WriteElementary(uint8_t* packet, uint16_t pid);
    void WriteNull(uint8_t* packet);
    void WriteNit(uint8_t* packet);
    uint16_t PidOfSlot(uint64_t index) const;
    bool Passes(uint16_t pid) const;
    bool AnyPasses() const;
    uint64_t Clock27MHz(uint64_t index) const;
    uint8_t NextCc(uint16_t pid);

    TsServiceInfo service_;
    uint64_t bitRate_;
    std::vector<uint8_t> pat_, pmt_, sdt_;  // complete sections with CRC
    std::vector<uint8_t> nitPackets_;      // the NIT's packets, counters 0
    size_t nitNext_ = 0;                   // its next packet; 0: none under way
    bool filterOn_ = false;
    std::vector<uint16_t> filter_;
    uint64_t packetIndex_ = 0;
    uint64_t lastPcrIndex_ = 0;
    bool pcrSent_ = false;
    uint32_t elementaryCounters_[ElementaryPidCount] = {};
    uint8_t cc_[0x2000] = {};
    uint8_t current_[PacketSize] = {};
    size_t currentOffset_ = PacketSize;  // PacketSize: nothing under way
};
