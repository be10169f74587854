// TsPacketSync: cuts bytes handed over in chunks of any size into 188-byte
// packets. Where a packet should start but the byte is not 0x47, bytes are
// skipped one at a time until one is (one sync loss per run of skipped
// bytes); a packet split across chunks is held until its last byte arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

class TsPacketSync {
public:
    static constexpr size_t PacketSize = 188;
    using PacketHandler = std::function<void(const uint8_t* packet)>;

    // Calls `onPacket` with each whole packet, in stream order; the packet
    // pointer is valid only during the call. A null `data` is ignored.
    void Feed(const uint8_t* data, size_t bytes, const PacketHandler& onPacket);

    uint64_t Packets() const { return packets_; }
    uint64_t SyncLosses() const { return syncLosses_; }
    uint64_t SkippedBytes() const { return skipped_; }
    // Bytes held back because they do not yet make a whole packet.
    size_t PartialBytes() const { return partial_; }

private:
    uint8_t buffer_[PacketSize] = {};
    size_t partial_ = 0;
    bool synced_ = true;
    uint64_t packets_ = 0, syncLosses_ = 0, skipped_ = 0;
};
