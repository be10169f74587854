// TsSectionPackets: the packets that carry PSI/SI sections on one PID, as
// the simulator sends them. Each section starts a packet of its own
// (payload_unit_start, pointer_field 0), runs on over as many packets as it
// needs, and 0xFF fills the rest of its last one. The continuity counters
// are left 0: a sender sets them as it sends (SetCounter), so the same
// packets can go out again and again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TsSectionPackets {
public:
    static constexpr size_t PacketSize = 188;

    // Whole packets, back to back, carrying `sections` in order.
    static std::vector<uint8_t> Build(uint16_t pid, const std::vector<std::vector<uint8_t>>& sections);

    // Writes `counter` (its low four bits) into the packet starting at `packet`.
    static void SetCounter(uint8_t* packet, uint8_t counter);
};
