#include "ts/TsGenerator.h"

#include <algorithm>
#include <cstring>

#include "ts/AribText.h"
#include "ts/TsCrc32.h"
#include "ts/TsNitSections.h"
#include "ts/TsSectionPackets.h"

namespace {

constexpr uint64_t ClockHz = 27000000;
constexpr uint64_t PtsDelay90kHz = 9000;  // 100 ms between PCR and presentation
constexpr uint64_t ClockStart = ClockHz;  // streams start at one second
constexpr uint8_t PrivateStreamType = 0x06;
constexpr uint8_t PrivateStreamId = 0xBD;
constexpr char Marker[4] = {'T', 'S', 'I', 'M'};
constexpr uint8_t DigitalTelevisionService = 0x01;
constexpr size_t ServiceNameLimit = 64;  // encoded bytes; keeps each section in one packet
constexpr size_t ProviderNameLimit = 32;
constexpr size_t NetworkNameLimit = 64;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void PutBig(uint8_t* out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out[i] = static_cast<uint8_t>(value);
        value >>= 8;
    }
}

// Fills in section_length and appends the CRC of a section built from its
// table_id onwards with a two-byte placeholder for the length.
std::vector<uint8_t> Finish(std::vector<uint8_t> section) {
    const size_t length = section.size() - 3 + 4;
    section[1] = static_cast<uint8_t>((section[1] & 0xF0) | ((length >> 8) & 0x0F));
    section[2] = static_cast<uint8_t>(length);
    const uint32_t crc = MpegCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
    return section;
}

// table_id, length placeholder, table_id_extension, version 0 current, section 0 of 0.
std::vector<uint8_t> Start(uint8_t tableId, uint8_t flags, uint16_t extension) {
    std::vector<uint8_t> section = {tableId, flags, 0};
    Put16(section, extension);
    section.push_back(0xC1);
    section.push_back(0x00);
    section.push_back(0x00);
    return section;
}

std::vector<uint8_t> BuildPat(const TsServiceInfo& service) {
    std::vector<uint8_t> section = Start(0x00, 0xB0, service.Tsid);
    Put16(section, 0x0000);  // program 0: the network PID
    Put16(section, 0xE000u | TsGenerator::NitPid);
    Put16(section, service.ServiceId);
    Put16(section, 0xE000u | TsGenerator::PmtPid);
    return Finish(section);
}

std::vector<uint8_t> BuildPmt(const TsServiceInfo& service) {
    std::vector<uint8_t> section = Start(0x02, 0xB0, service.ServiceId);
    Put16(section, 0xE000u | TsGenerator::FirstElementaryPid);  // PCR PID
    Put16(section, 0xF000u);                                    // no program descriptors
    for (uint16_t i = 0; i < TsGenerator::ElementaryPidCount; ++i) {
        section.push_back(PrivateStreamType);
        Put16(section, 0xE000u | (TsGenerator::FirstElementaryPid + i));
        Put16(section, 0xF000u);
    }
    return Finish(section);
}

// The ARIB bytes of `text`, cut after the last whole character that fits in
// `limit` bytes; empty when the encoder refuses the text.
std::vector<uint8_t> EncodeName(std::string text, size_t limit) {
    std::vector<uint8_t> bytes;
    while (AribText::Encode(text, &bytes) && bytes.size() > limit) {
        size_t cut = text.size() - 1;
        while (cut > 0 && (static_cast<uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return bytes;
}

void PutString(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    out.push_back(static_cast<uint8_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> BuildSdt(const TsServiceInfo& service) {
    const std::vector<uint8_t> provider = EncodeName(service.ProviderName, ProviderNameLimit);
    const std::vector<uint8_t> name = EncodeName(service.Name, ServiceNameLimit);
    std::vector<uint8_t> section = Start(0x42, 0xF0, service.Tsid);
    Put16(section, service.OriginalNetworkId);
    section.push_back(0xFF);
    Put16(section, service.ServiceId);
    section.push_back(0xFC);  // no EIT
    const size_t descriptor = 2 + 3 + provider.size() + name.size();
    Put16(section, (4u << 13) | static_cast<uint32_t>(descriptor));  // running
    section.push_back(0x48);
    section.push_back(static_cast<uint8_t>(descriptor - 2));
    section.push_back(DigitalTelevisionService);
    PutString(section, provider);
    PutString(section, name);
    return Finish(section);
}

// NIT-actual: the network's name, then its streams (or this one alone).
std::vector<std::vector<uint8_t>> BuildNit(const TsServiceInfo& service) {
    TsNitNetwork network;
    network.NetworkId = service.OriginalNetworkId;
    if (!service.NetworkName.empty()) network.NameBytes = EncodeName(service.NetworkName, NetworkNameLimit);
    network.Streams = service.NetworkStreams;
    if (network.Streams.empty()) {
        TsNitStream alone;
        alone.Tsid = service.Tsid;
        alone.OriginalNetworkId = service.OriginalNetworkId;
        alone.Services.push_back(TsNitService{service.ServiceId, DigitalTelevisionService});
        network.Streams.push_back(alone);
    }
    return TsNitSections::Build(network);
}

}  // namespace

TsGenerator::TsGenerator(const TsServiceInfo& service, uint64_t nominalBitRate)
    : service_(service), bitRate_(nominalBitRate ? nominalBitRate : DefaultBitRate) {
    pat_ = BuildPat(service_);
    pmt_ = BuildPmt(service_);
    sdt_ = BuildSdt(service_);
    nitPackets_ = TsSectionPackets::Build(NitPid, BuildNit(service_));
}

std::vector<uint8_t> TsGenerator::SdtSection(const TsServiceInfo& service) { return BuildSdt(service); }

std::vector<std::vector<uint8_t>> TsGenerator::NitSections(const TsServiceInfo& service) {
    return BuildNit(service);
}

bool TsGenerator::CarriesPid(uint16_t pid) {
    return pid == PatPid || pid == NitPid || pid == SdtPid || pid == PmtPid || pid == NullPid ||
           (pid >= FirstElementaryPid && pid < FirstElementaryPid + ElementaryPidCount);
}

void TsGenerator::SetPidFilter(bool on, const std::vector<uint16_t>& pids) {
    filterOn_ = on;
    filter_ = pids;
}

bool TsGenerator::Passes(uint16_t pid) const {
    return !filterOn_ || std::find(filter_.begin(), filter_.end(), pid) != filter_.end();
}

bool TsGenerator::AnyPasses() const {
    if (!filterOn_) return true;
    return std::any_of(filter_.begin(), filter_.end(), [](uint16_t pid) { return CarriesPid(pid); });
}

size_t TsGenerator::PendingBytes() const { return PacketSize - currentOffset_; }

size_t TsGenerator::DrainPending(uint8_t* out, size_t bytes) {
    const size_t count = std::min(bytes, PendingBytes());
    std::memcpy(out, current_ + currentOffset_, count);
    currentOffset_ += count;
    return count;
}

size_t TsGenerator::Generate(uint8_t* out, size_t bytes) {
    size_t written = 0;
    while (written < bytes) {
        if (currentOffset_ == PacketSize) {
            if (!AnyPasses()) break;
            do {
                NextPacket(current_);
            } while (!Passes(static_cast<uint16_t>(((current_[1] & 0x1F) << 8) | current_[2])));
            currentOffset_ = 0;
        }
        written += DrainPending(out + written, bytes - written);
    }
    return written;
}

uint16_t TsGenerator::PidOfSlot(uint64_t index) const {
    const uint32_t slot = static_cast<uint32_t>(index % CycleLength);
    if (slot == 0) return PatPid;
    if (slot == 1) return PmtPid;
    if (slot == 2) return SdtPid;
    if (slot == 9 || (slot % 10 == 9 && nitNext_ > 0)) return NitPid;
    if (slot % 10 == 9) return NullPid;
    return static_cast<uint16_t>(FirstElementaryPid + slot % ElementaryPidCount);
}

uint64_t TsGenerator::Clock27MHz(uint64_t index) const {
    // index * 1504 bits / rate seconds, split so nothing overflows 64 bits.
    const uint64_t bits = index * PacketSize * 8;
    return ClockStart + bits / bitRate_ * ClockHz + bits % bitRate_ * ClockHz / bitRate_;
}

uint8_t TsGenerator::NextCc(uint16_t pid) {
    const uint8_t cc = cc_[pid];
    cc_[pid] = static_cast<uint8_t>((cc + 1) & 0x0F);
    return cc;
}

void TsGenerator::NextPacket(uint8_t* packet) {
    const uint16_t pid = PidOfSlot(packetIndex_);
    if (pid == PatPid)
        WritePsi(packet, pid, pat_);
    else if (pid == PmtPid)
        WritePsi(packet, pid, pmt_);
    else if (pid == SdtPid)
        WritePsi(packet, pid, sdt_);
    else if (pid == NitPid)
        WriteNit(packet);
    else if (pid == NullPid)
        WriteNull(packet);
    else
        WriteElementary(packet, pid);
    ++packetIndex_;
}

void TsGenerator::WritePsi(uint8_t* packet, uint16_t pid, const std::vector<uint8_t>& section) {
    std::memset(packet, 0xFF, PacketSize);
    packet[0] = 0x47;
    packet[1] = static_cast<uint8_t>(0x40 | (pid >> 8));
    packet[2] = static_cast<uint8_t>(pid);
    packet[3] = static_cast<uint8_t>(0x10 | NextCc(pid));
    packet[4] = 0x00;  // pointer_field
    std::memcpy(packet + 5, section.data(), std::min(section.size(), PacketSize - 5));
}

void TsGenerator::WriteNit(uint8_t* packet) {
    std::memcpy(packet, &nitPackets_[nitNext_ * PacketSize], PacketSize);
    TsSectionPackets::SetCounter(packet, NextCc(NitPid));
    if (++nitNext_ * PacketSize == nitPackets_.size()) nitNext_ = 0;
}

void TsGenerator::WriteNull(uint8_t* packet) {
    std::memset(packet, 0xFF, PacketSize);
    packet[0] = 0x47;
    packet[1] = static_cast<uint8_t>(NullPid >> 8);
    packet[2] = static_cast<uint8_t>(NullPid);
    packet[3] = 0x10;
}

void TsGenerator::WriteElementary(uint8_t* packet, uint16_t pid) {
    const uint64_t clock = Clock27MHz(packetIndex_);
    const bool pcr = pid == FirstElementaryPid &&
                     (!pcrSent_ || clock - Clock27MHz(lastPcrIndex_) >= ClockHz / 1000 * PcrIntervalMs);
    packet[0] = 0x47;
    packet[1] = static_cast<uint8_t>(0x40 | (pid >> 8));
    packet[2] = static_cast<uint8_t>(pid);
    packet[3] = static_cast<uint8_t>((pcr ? 0x30 : 0x10) | NextCc(pid));
    size_t at = 4;
    if (pcr) {
        const uint64_t base = (clock / 300) & 0x1FFFFFFFFull;
        const uint64_t extension = clock % 300;
        packet[4] = 7;     // adaptation_field_length
        packet[5] = 0x10;  // PCR_flag
        PutBig(packet + 6, (base << 15) | (0x3Full << 9) | extension, 6);
        at = 12;
        pcrSent_ = true;
        lastPcrIndex_ = packetIndex_;
    }
    const size_t pesLength = PacketSize - at - 6;
    const uint8_t header[] = {0x00, 0x00, 0x01, PrivateStreamId,
                              static_cast<uint8_t>(pesLength >> 8), static_cast<uint8_t>(pesLength),
                              0x80, 0x80, 0x05};
    std::memcpy(packet + at, header, sizeof(header));
    at += sizeof(header);
    const uint64_t pts = (clock / 300 + PtsDelay90kHz) & 0x1FFFFFFFFull;
    packet[at++] = static_cast<uint8_t>(0x21 | ((pts >> 29) & 0x0E));
    packet[at++] = static_cast<uint8_t>(pts >> 22);
    packet[at++] = static_cast<uint8_t>(0x01 | ((pts >> 14) & 0xFE));
    packet[at++] = static_cast<uint8_t>(pts >> 7);
    packet[at++] = static_cast<uint8_t>(0x01 | ((pts << 1) & 0xFE));
    std::memcpy(packet + at, Marker, sizeof(Marker));
    at += sizeof(Marker);
    PutBig(packet + at, elementaryCounters_[pid - FirstElementaryPid]++, 4);
    PutBig(packet + at + 4, packetIndex_, 8);
    at += 12;
    for (uint8_t fill = static_cast<uint8_t>(packetIndex_); at < PacketSize; ++at) packet[at] = fill++;
}
