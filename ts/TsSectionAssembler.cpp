#include "ts/TsSectionAssembler.h"

#include <algorithm>

#include "ts/TsCrc32.h"

namespace {

constexpr size_t HeaderSize = 4;
constexpr size_t SectionHeaderSize = 3;          // table_id and section_length
constexpr size_t ShortestSyntaxSection = 8 + 4;  // long header and CRC
constexpr uint8_t Stuffing = 0xFF;

size_t SectionSize(const std::vector<uint8_t>& start) {
    return SectionHeaderSize + ((static_cast<size_t>(start[1] & 0x0F) << 8) | start[2]);
}

}  // namespace

void TsSectionAssembler::Feed(const uint8_t* packet, std::vector<std::vector<uint8_t>>* sections) {
    if (packet[1] & 0x80) return;  // transport error: the header itself may be wrong
    if (packet[3] & 0xC0) return;  // scrambled: nothing readable
    const uint8_t control = static_cast<uint8_t>((packet[3] >> 4) & 0x03);
    if (!(control & 0x01)) return;  // no payload: the counter does not move
    size_t payload = HeaderSize;
    bool flagged = false;
    if (control & 0x02) {
        const size_t length = packet[4];
        flagged = length > 0 && (packet[5] & 0x80);
        payload += 1 + length;
    }
    if (!Continues(packet, flagged)) return;
    if (payload > PacketSize) {
        Abandon();  // an adaptation field longer than the packet hides where the payload is
        return;
    }
    if (payload == PacketSize) return;
    Payload(packet + payload, PacketSize - payload, (packet[1] & 0x40) != 0, sections);
}

bool TsSectionAssembler::Continues(const uint8_t* packet, bool discontinuityFlagged) {
    const int cc = packet[3] & 0x0F;
    if (lastCc_ < 0 || discontinuityFlagged) {
        if (lastCc_ >= 0) Abandon();  // the sender says bytes may be missing
        lastCc_ = cc;
        return true;
    }
    if (cc == lastCc_) return false;  // a repeated packet carries nothing new
    if (cc != ((lastCc_ + 1) & 0x0F)) {
        ++discontinuities_;
        Abandon();
    }
    lastCc_ = cc;
    return true;
}

void TsSectionAssembler::Payload(const uint8_t* data, size_t size, bool unitStart,
                                 std::vector<std::vector<uint8_t>>* sections) {
    if (!unitStart) {
        Append(data, size, sections);
        return;
    }
    const size_t pointer = data[0];
    if (1 + pointer > size) {
        Abandon();  // points past the packet
        return;
    }
    // Bytes before the pointer end the section under way; if they do not,
    // it was cut short.
    if (collecting_ && !partial_.empty()) {
        Append(data + 1, pointer, sections);
        if (!partial_.empty()) Abandon();
    }
    partial_.clear();
    collecting_ = true;
    Append(data + 1 + pointer, size - 1 - pointer, sections);
}

void TsSectionAssembler::Append(const uint8_t* data, size_t size,
                                std::vector<std::vector<uint8_t>>* sections) {
    while (size > 0 && collecting_) {
        if (partial_.empty() && data[0] == Stuffing) {
            collecting_ = false;  // stuffing runs to the end of the packet
            return;
        }
        const size_t want = partial_.size() < SectionHeaderSize ? SectionHeaderSize : SectionSize(partial_);
        const size_t take = std::min(want - partial_.size(), size);
        partial_.insert(partial_.end(), data, data + take);
        data += take;
        size -= take;
        if (partial_.size() < SectionHeaderSize) return;  // all taken; the rest comes later
        const size_t total = SectionSize(partial_);
        if (total > MaxSectionSize) {
            Abandon();
            return;
        }
        if (partial_.size() == total) Complete(sections);
    }
}

void TsSectionAssembler::Complete(std::vector<std::vector<uint8_t>>* sections) {
    const bool syntax = (partial_[1] & 0x80) != 0;
    if (syntax && partial_.size() < ShortestSyntaxSection) {
        ++dropped_;
    } else if (syntax && MpegCrc32(partial_.data(), partial_.size()) != 0) {
        ++crcErrors_;
    } else {
        ++sections_;
        sections->push_back(partial_);
    }
    partial_.clear();
}

void TsSectionAssembler::Abandon() {
    if (collecting_ && !partial_.empty()) ++dropped_;
    partial_.clear();
    collecting_ = false;
}
