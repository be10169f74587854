#include "ts/TsLoop.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t NullPid = 0x1FFF;
constexpr size_t CounterByte = 3;
constexpr size_t FlagsByte = 5;  // adaptation field flags
constexpr uint8_t DiscontinuityFlag = 0x80;
constexpr uint64_t ClockHz = 27000000;

bool HasPayload(const uint8_t* packet) { return (packet[3] & 0x10) != 0; }

// The packet's PCR in 27 MHz units, or false when it carries none.
bool ReadPcr(const uint8_t* packet, uint64_t* pcr) {
    if (!(packet[3] & 0x20) || packet[4] < 7 || !(packet[FlagsByte] & 0x10)) return false;
    const uint8_t* p = packet + 6;
    const uint64_t base = (uint64_t(p[0]) << 25) | (uint64_t(p[1]) << 17) | (uint64_t(p[2]) << 9) |
                          (uint64_t(p[3]) << 1) | (p[4] >> 7);
    *pcr = base * 300 + (((p[4] & 1u) << 8) | p[5]);
    return true;
}

}  // namespace

TsLoop::TsLoop(std::shared_ptr<const std::vector<uint8_t>> clip)
    : clip_(std::move(clip)),
      step_(PidCount, 0),
      offset_(PidCount, 0),
      present_(PidCount, false),
      passes_(PidCount, true) {
    if (clip_) size_ = clip_->size() / PacketSize * PacketSize;
    Survey();
}

uint16_t TsLoop::PidAt(size_t packet) const {
    const uint8_t* p = clip_->data() + packet * PacketSize;
    return static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
}

// Finds each PID's counter step per pass, the packet to mark and the rate.
void TsLoop::Survey() {
    std::vector<int> first(PidCount, -1), last(PidCount, -1);
    int pcrPid = -1;
    uint64_t firstPcr = 0;
    size_t firstIndex = 0;
    for (size_t i = 0; i < size_ / PacketSize; ++i) {
        const uint8_t* packet = clip_->data() + i * PacketSize;
        const uint16_t pid = PidAt(i);
        present_[pid] = true;
        if (pid != NullPid && HasPayload(packet)) {
            if (first[pid] < 0) first[pid] = packet[CounterByte] & 0x0F;
            last[pid] = packet[CounterByte] & 0x0F;
        }
        SurveyPcr(packet, i, &pcrPid, &firstPcr, &firstIndex);
    }
    for (size_t pid = 0; pid < PidCount; ++pid) {
        if (first[pid] < 0) continue;
        step_[pid] = static_cast<uint8_t>((last[pid] + 1 - first[pid]) & 0x0F);
        if (step_[pid] != 0) stepped_.push_back(static_cast<uint16_t>(pid));
    }
}

void TsLoop::SurveyPcr(const uint8_t* packet, size_t index, int* pcrPid, uint64_t* firstPcr,
                       size_t* firstIndex) {
    uint64_t pcr = 0;
    if (!ReadPcr(packet, &pcr)) return;
    const uint16_t pid = PidAt(index);
    if (*pcrPid < 0) {
        *pcrPid = pid;
        *firstPcr = pcr;
        *firstIndex = index;
        markPacket_ = static_cast<long long>(index);
        return;
    }
    if (pid != *pcrPid || pcr <= *firstPcr) return;
    const uint64_t bits = (index - *firstIndex) * PacketSize * 8;
    bitRate_ = bits * ClockHz / (pcr - *firstPcr);
}

void TsLoop::SetPidFilter(bool on, const std::vector<uint16_t>& pids) {
    filterOn_ = on;
    std::fill(passes_.begin(), passes_.end(), !on);
    anyPasses_ = !on;
    for (uint16_t pid : pids) {
        if (pid >= PidCount) continue;
        if (on) passes_[pid] = true;
        if (present_[pid]) anyPasses_ = true;
    }
}

size_t TsLoop::PendingBytes() const {
    const size_t into = pos_ % PacketSize;
    return into == 0 ? 0 : PacketSize - into;
}

size_t TsLoop::DrainPending(uint8_t* out, size_t bytes) {
    return CopySpan(out, std::min(bytes, PendingBytes()));
}

size_t TsLoop::Read(uint8_t* out, size_t bytes) {
    if (size_ == 0) return 0;
    if (filterOn_) return ReadFiltered(out, bytes);
    size_t written = 0;
    while (written < bytes) {
        written += CopySpan(out + written, std::min(bytes - written, size_ - pos_));
        if (pos_ == size_) NextPass();
    }
    return written;
}

size_t TsLoop::ReadFiltered(uint8_t* out, size_t bytes) {
    size_t written = DrainPending(out, bytes);
    if (pos_ == size_) NextPass();
    while (written < bytes && anyPasses_) {
        SkipFilteredPackets();
        written += CopySpan(out + written, std::min(bytes - written, PacketSize));
        if (pos_ == size_) NextPass();
    }
    return written;
}

// At a packet boundary: moves past the packets the filter holds back. Ends
// because at least one packet of the clip passes (anyPasses_).
void TsLoop::SkipFilteredPackets() {
    while (!passes_[PidAt(pos_ / PacketSize)]) {
        pos_ += PacketSize;
        if (pos_ == size_) NextPass();
    }
}

// Copies `bytes` from pos_ (never past the clip's end) and mends the copy.
size_t TsLoop::CopySpan(uint8_t* out, size_t bytes) {
    std::memcpy(out, clip_->data() + pos_, bytes);
    Mend(out, pos_, pos_ + bytes);
    pos_ += bytes;
    return bytes;
}

// `out` holds the clip's bytes [begin, end) of the current pass.
void TsLoop::Mend(uint8_t* out, size_t begin, size_t end) const {
    if (begin == end) return;
    if (pass_ > 0 && markPacket_ >= 0) {
        const size_t flags = static_cast<size_t>(markPacket_) * PacketSize + FlagsByte;
        if (flags >= begin && flags < end) out[flags - begin] |= DiscontinuityFlag;
    }
    if (!mendCounters_) return;
    for (size_t packet = begin / PacketSize; packet <= (end - 1) / PacketSize; ++packet) {
        const size_t counter = packet * PacketSize + CounterByte;
        if (counter < begin || counter >= end) continue;
        const uint8_t offset = offset_[PidAt(packet)];
        if (offset == 0) continue;
        const uint8_t original = (*clip_)[counter];
        out[counter - begin] = static_cast<uint8_t>((original & 0xF0) | ((original + offset) & 0x0F));
    }
}

void TsLoop::NextPass() {
    pos_ = 0;
    ++pass_;
    mendCounters_ = false;
    for (uint16_t pid : stepped_) {
        offset_[pid] = static_cast<uint8_t>((pass_ * step_[pid]) & 0x0F);
        if (offset_[pid] != 0) mendCounters_ = true;
    }
}
