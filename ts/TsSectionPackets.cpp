#include "ts/TsSectionPackets.h"

#include <algorithm>

namespace {

constexpr size_t HeaderSize = 4;
constexpr uint8_t Stuffing = 0xFF;

}  // namespace

std::vector<uint8_t> TsSectionPackets::Build(uint16_t pid,
                                             const std::vector<std::vector<uint8_t>>& sections) {
    std::vector<uint8_t> packets;
    for (const std::vector<uint8_t>& section : sections) {
        for (size_t at = 0; at < section.size();) {
            const bool start = at == 0;
            const size_t origin = packets.size();
            packets.resize(origin + PacketSize, Stuffing);
            uint8_t* packet = &packets[origin];
            packet[0] = 0x47;
            packet[1] = static_cast<uint8_t>((start ? 0x40 : 0x00) | ((pid >> 8) & 0x1F));
            packet[2] = static_cast<uint8_t>(pid);
            packet[3] = 0x10;  // payload only, counter 0
            size_t payload = HeaderSize;
            if (start) packet[payload++] = 0x00;  // pointer_field
            const size_t take = std::min(PacketSize - payload, section.size() - at);
            std::copy(section.begin() + at, section.begin() + at + take, packet + payload);
            at += take;
        }
    }
    return packets;
}

void TsSectionPackets::SetCounter(uint8_t* packet, uint8_t counter) {
    packet[3] = static_cast<uint8_t>((packet[3] & 0xF0) | (counter & 0x0F));
}
