#include "ts/TsPacketSync.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t SyncByte = 0x47;

}  // namespace

void TsPacketSync::Feed(const uint8_t* data, size_t bytes, const PacketHandler& onPacket) {
    if (!data) return;
    while (bytes > 0) {
        if (partial_ == 0) {
            if (data[0] != SyncByte) {
                if (synced_) ++syncLosses_;
                synced_ = false;
                ++skipped_;
                ++data;
                --bytes;
                continue;
            }
            if (bytes >= PacketSize) {  // whole packets are read in place
                synced_ = true;
                ++packets_;
                onPacket(data);
                data += PacketSize;
                bytes -= PacketSize;
                continue;
            }
        }
        const size_t take = std::min(PacketSize - partial_, bytes);
        std::memcpy(buffer_ + partial_, data, take);
        partial_ += take;
        data += take;
        bytes -= take;
        if (partial_ == PacketSize) {
            partial_ = 0;
            synced_ = true;
            ++packets_;
            onPacket(buffer_);
        }
    }
}
