#include "ts/TsReplayClip.h"

#include "ts/TsCrc32.h"
#include "ts/TsPacketSync.h"
#include "ts/TsSectionPackets.h"

namespace {

constexpr uint16_t PatPid = 0x0000;
constexpr uint16_t NitPid = 0x0010;
constexpr uint16_t SdtPid = 0x0011;
constexpr size_t MaxPatPrograms = 40;  // keeps the rebuilt PAT in one packet

uint16_t PidOf(const uint8_t* packet) {
    return static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}

// Where the payload starts, or PacketSize when there is none.
size_t PayloadStart(const uint8_t* packet) {
    const uint8_t control = (packet[3] >> 4) & 0x03;
    if (!(control & 0x01)) return TsReplayClip::PacketSize;
    return control == 0x03 ? 5 + size_t(packet[4]) : 4;
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// Appends one packet of `pid` carrying `section` from its start.
void AppendSectionPacket(std::vector<uint8_t>& out, uint16_t pid, uint8_t counter,
                         const std::vector<uint8_t>& section) {
    const size_t at = out.size();
    out.resize(at + TsReplayClip::PacketSize, 0xFF);
    uint8_t* packet = &out[at];
    packet[0] = 0x47;
    packet[1] = static_cast<uint8_t>(0x40 | (pid >> 8));
    packet[2] = static_cast<uint8_t>(pid);
    packet[3] = static_cast<uint8_t>(0x10 | (counter & 0x0F));
    packet[4] = 0x00;
    for (size_t i = 0; i < section.size() && 5 + i < TsReplayClip::PacketSize; ++i)
        packet[5 + i] = section[i];
}

std::vector<uint8_t> BuildPat(uint16_t tsid, uint8_t version,
                              const std::vector<std::pair<uint16_t, uint16_t>>& programs) {
    std::vector<uint8_t> section = {0x00, 0xB0, 0x00};
    Put16(section, tsid);
    section.push_back(static_cast<uint8_t>(0xC1 | (version << 1)));
    section.push_back(0x00);
    section.push_back(0x00);
    Put16(section, 0x0000);
    Put16(section, 0xE000u | NitPid);
    for (const auto& program : programs) {
        Put16(section, program.first);
        Put16(section, 0xE000u | program.second);
    }
    const size_t length = section.size() - 3 + 4;
    section[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    section[2] = static_cast<uint8_t>(length);
    const uint32_t crc = MpegCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
    return section;
}

}  // namespace

std::shared_ptr<const std::vector<uint8_t>> TsReplayClip::Prepare(
    const std::vector<uint8_t>& recording, const TsServiceInfo& channel, std::string* error) {
    const std::vector<uint8_t> packets = WholePackets(recording);
    if (packets.size() < 2 * PacketSize) {
        *error = "no MPEG-TS packets found (is it a .ts recording?)";
        return nullptr;
    }
    size_t start = FirstPcrPacket(packets);
    Pat pat;
    bool found = false;
    for (size_t at = 0; at < packets.size() && !found; at += PacketSize)
        found = ReadPat(&packets[at], &pat);
    if (!found || pat.Programs.empty()) {
        *error = "the recording has no PAT naming a program";
        return nullptr;
    }
    TsServiceInfo service = channel;
    service.ServiceId = pat.Programs.front().first;
    std::vector<uint8_t> clip = Rewrite(packets, start, service);
    if (clip.empty()) clip = Rewrite(packets, 0, service);  // no PAT after the first PCR
    return std::make_shared<const std::vector<uint8_t>>(std::move(clip));
}

std::vector<uint8_t> TsReplayClip::WholePackets(const std::vector<uint8_t>& recording) {
    std::vector<uint8_t> packets;
    packets.reserve(recording.size());
    TsPacketSync sync;
    sync.Feed(recording.data(), recording.size(),
              [&](const uint8_t* packet) { packets.insert(packets.end(), packet, packet + PacketSize); });
    return packets;
}

// A PAT section that starts in this packet and ends in it.
bool TsReplayClip::ReadPat(const uint8_t* packet, Pat* pat) {
    if (PidOf(packet) != PatPid || !(packet[1] & 0x40)) return false;
    size_t at = PayloadStart(packet);
    if (at >= PacketSize) return false;
    at += 1 + size_t(packet[at]);  // pointer_field
    if (at + 8 > PacketSize || packet[at] != 0x00) return false;
    const size_t length = ((packet[at + 1] & 0x0F) << 8) | packet[at + 2];
    if (length < 9 || at + 3 + length > PacketSize) return false;
    if (MpegCrc32(packet + at, 3 + length) != 0) return false;
    pat->Version = (packet[at + 5] >> 1) & 0x1F;
    pat->Programs.clear();
    for (size_t entry = at + 8; entry + 4 <= at + 3 + length - 4; entry += 4) {
        const uint16_t number = static_cast<uint16_t>((packet[entry] << 8) | packet[entry + 1]);
        const uint16_t pid = static_cast<uint16_t>(((packet[entry + 2] & 0x1F) << 8) | packet[entry + 3]);
        if (number != 0 && pat->Programs.size() < MaxPatPrograms) pat->Programs.emplace_back(number, pid);
    }
    return true;
}

size_t TsReplayClip::FirstPcrPacket(const std::vector<uint8_t>& packets) {
    for (size_t at = 0; at < packets.size(); at += PacketSize) {
        const uint8_t* packet = &packets[at];
        if ((packet[3] & 0x20) && packet[4] >= 7 && (packet[5] & 0x10)) return at;
    }
    return 0;
}

// The packets from `start` with the channel's PAT, SDT and NIT; empty when
// no PAT follows `start`.
std::vector<uint8_t> TsReplayClip::Rewrite(const std::vector<uint8_t>& packets, size_t start,
                                           const TsServiceInfo& service) {
    const std::vector<uint8_t> sdt = TsGenerator::SdtSection(service);
    const std::vector<uint8_t> nit = TsSectionPackets::Build(NitPid, TsGenerator::NitSections(service));
    std::vector<uint8_t> clip;
    clip.reserve(packets.size() - start + packets.size() / 50);
    uint8_t sdtCounter = 0, nitCounter = 0;
    bool anyPat = false;
    for (size_t at = start; at < packets.size(); at += PacketSize) {
        const uint8_t* packet = &packets[at];
        const uint16_t pid = PidOf(packet);
        if (pid == SdtPid || pid == NitPid) continue;
        Pat pat;
        if (!ReadPat(packet, &pat)) {
            clip.insert(clip.end(), packet, packet + PacketSize);
            continue;
        }
        anyPat = true;
        AppendSectionPacket(clip, PatPid, packet[3], BuildPat(service.Tsid, pat.Version, pat.Programs));
        AppendSectionPacket(clip, SdtPid, sdtCounter++, sdt);
        for (size_t at = 0; at < nit.size(); at += PacketSize) {
            clip.insert(clip.end(), nit.begin() + at, nit.begin() + at + PacketSize);
            TsSectionPackets::SetCounter(&clip[clip.size() - PacketSize], nitCounter++);
        }
    }
    if (!anyPat) clip.clear();
    return clip;
}
