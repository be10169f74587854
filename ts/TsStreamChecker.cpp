#include "ts/TsStreamChecker.h"

#include <algorithm>
#include <cstring>

#include "ts/AribText.h"
#include "ts/TsCrc32.h"

namespace {

constexpr uint16_t NullPid = 0x1FFF;
constexpr size_t HeaderSize = 4;
constexpr uint8_t Marker[4] = {'T', 'S', 'I', 'M'};

uint16_t Read16(const uint8_t* data) { return static_cast<uint16_t>((data[0] << 8) | data[1]); }

uint64_t ReadBig(const uint8_t* data, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | data[i];
    return value;
}

// Stream ids whose PES packets carry no optional header.
bool HasPesHeader(uint8_t streamId) {
    return streamId != 0xBC && streamId != 0xBE && streamId != 0xBF && streamId != 0xF0 &&
           streamId != 0xF1 && streamId != 0xFF && streamId != 0xF2 && streamId != 0xF8;
}

}  // namespace

void TsStreamChecker::Feed(const uint8_t* data, size_t bytes) {
    if (!data) return;
    bytes_ += bytes;
    sync_.Feed(data, bytes, [this](const uint8_t* packet) { Packet(packet); });
}

void TsStreamChecker::Packet(const uint8_t* packet) {
    const uint16_t pid = static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
    PidState& state = pids_[pid];
    TsPidReport& report = state.Report;
    ++report.Packets;
    if (packet[1] & 0x80) {
        ++transportErrors_;
        return;
    }
    const uint8_t control = static_cast<uint8_t>((packet[3] >> 4) & 0x03);
    if (control == 0) return;  // reserved: nothing to read
    if (pid != NullPid) Continuity(state, packet);

    size_t payload = HeaderSize;
    if (control & 0x02) {
        const size_t length = packet[4];
        if (length > PacketSize - HeaderSize - 1) return;  // malformed adaptation field
        if (length >= 7 && (packet[5] & 0x10)) ++pcrCount_;
        payload = HeaderSize + 1 + length;
    }
    if (!(control & 0x01) || payload >= PacketSize) return;
    if (!(packet[1] & 0x40)) return;  // everything read here starts in the packet
    const size_t size = PacketSize - payload;
    if (pid == 0x0000 || pid == 0x0011 || (hasPat_ && pid == pmtPid_))
        Section(pid, packet + payload, size);
    else
        Counters(state, packet + payload, size);
}

void TsStreamChecker::Continuity(PidState& state, const uint8_t* packet) {
    TsPidReport& report = state.Report;
    const int cc = packet[3] & 0x0F;
    const bool hasPayload = (packet[3] & 0x10) != 0;
    const bool discontinuity = (packet[3] & 0x20) && packet[4] > 0 && (packet[5] & 0x80);
    if (state.LastCc < 0 || discontinuity) {
        state.LastCc = cc;
        state.Duplicated = false;
        return;
    }
    if (!hasPayload) {
        // Adaptation-only packets keep the counter of the packet before them.
        if (cc != state.LastCc) ++report.CcErrors;
        state.LastCc = cc;
        return;
    }
    if (cc == state.LastCc) {
        if (state.Duplicated)
            ++report.CcErrors;
        else
            ++report.CcDuplicates;
        state.Duplicated = true;
        return;
    }
    if (cc != ((state.LastCc + 1) & 0x0F)) ++report.CcErrors;
    state.LastCc = cc;
    state.Duplicated = false;
}

void TsStreamChecker::Counters(PidState& state, const uint8_t* payload, size_t size) {
    if (size < 9 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) return;
    size_t at = 6;
    if (HasPesHeader(payload[3])) at = 9 + static_cast<size_t>(payload[8]);
    if (at + sizeof(Marker) + 12 > size || std::memcmp(payload + at, Marker, sizeof(Marker)) != 0)
        return;
    at += sizeof(Marker);
    const uint32_t counter = static_cast<uint32_t>(ReadBig(payload + at, 4));
    const uint64_t index = ReadBig(payload + at + 4, 8);

    TsPidReport& report = state.Report;
    ++report.CounterPackets;
    if (state.HasCounter) {
        if (counter == state.LastCounter) {
            ++report.CounterDuplicates;
        } else if (counter < state.LastCounter) {
            ++report.CounterReorders;
        } else if (counter != state.LastCounter + 1) {
            ++report.CounterGaps;
            report.CounterMissing += counter - state.LastCounter - 1;
        }
    }
    if (!state.HasCounter || counter > state.LastCounter) state.LastCounter = counter;
    state.HasCounter = true;

    if (hasIndex_ && index <= lastIndex_) ++indexRegressions_;
    if (!hasIndex_ || index > lastIndex_) lastIndex_ = index;
    hasIndex_ = true;
}

void TsStreamChecker::Section(uint16_t pid, const uint8_t* payload, size_t size) {
    const size_t pointer = payload[0];
    if (1 + pointer + 3 > size) return;
    const uint8_t* section = payload + 1 + pointer;
    const size_t available = size - 1 - pointer;
    if (section[0] == 0xFF) return;  // stuffing only
    const size_t length = 3 + (static_cast<size_t>(section[1] & 0x0F) << 8 | section[2]);
    if (length > available || length < 12) return;  // spans packets or too short to read
    ++sectionsChecked_;
    if (MpegCrc32(section, length) != 0) {
        ++crcErrors_;
        return;
    }
    if (pid == 0x0000 && section[0] == 0x00)
        ReadPat(section, length);
    else if (pid == 0x0011 && section[0] == 0x42)
        ReadSdt(section, length);
    else if (section[0] == 0x02)
        ReadPmt(section, length);
}

void TsStreamChecker::ReadPat(const uint8_t* section, size_t size) {
    hasPat_ = true;
    patTsid_ = Read16(section + 3);
    for (size_t at = 8; at + 4 <= size - 4; at += 4) {
        const uint16_t program = Read16(section + at);
        if (program == 0) continue;  // network PID
        programNumber_ = program;
        pmtPid_ = Read16(section + at + 2) & 0x1FFF;
        return;
    }
}

void TsStreamChecker::ReadPmt(const uint8_t* section, size_t size) {
    const size_t end = size - 4;
    hasPmt_ = true;
    pcrPid_ = Read16(section + 8) & 0x1FFF;
    const size_t infoLength = Read16(section + 10) & 0x0FFF;
    elementaryPids_.clear();
    for (size_t at = 12 + infoLength; at + 5 <= end;) {
        elementaryPids_.push_back(Read16(section + at + 1) & 0x1FFF);
        at += 5 + (Read16(section + at + 3) & 0x0FFF);
    }
}

void TsStreamChecker::ReadSdt(const uint8_t* section, size_t size) {
    const size_t end = size - 4;
    hasSdt_ = true;
    sdtTsid_ = Read16(section + 3);
    size_t at = 11;
    if (at + 5 > end) return;
    const size_t loopEnd = std::min(end, at + 5 + (Read16(section + at + 3) & 0x0FFF));
    for (at += 5; at + 2 <= loopEnd;) {
        const uint8_t tag = section[at];
        const size_t length = section[at + 1];
        const uint8_t* body = section + at + 2;
        if (at + 2 + length > loopEnd) return;
        if (tag == 0x48 && length >= 3) {
            const size_t provider = body[1];
            if (2 + provider + 1 <= length) {
                const size_t name = body[2 + provider];
                if (3 + provider + name <= length)
                    serviceName_ = AribText::Read(body + 3 + provider, name).Text;
            }
            return;
        }
        at += 2 + length;
    }
}

uint64_t TsStreamChecker::SumOverPids(uint64_t TsPidReport::*field) const {
    uint64_t sum = 0;
    for (const auto& entry : pids_) sum += entry.second.Report.*field;
    return sum;
}

uint64_t TsStreamChecker::CcErrors() const { return SumOverPids(&TsPidReport::CcErrors); }

uint64_t TsStreamChecker::CounterPackets() const { return SumOverPids(&TsPidReport::CounterPackets); }

uint64_t TsStreamChecker::CounterGaps() const { return SumOverPids(&TsPidReport::CounterGaps); }

uint64_t TsStreamChecker::CounterDuplicates() const { return SumOverPids(&TsPidReport::CounterDuplicates); }

uint64_t TsStreamChecker::CounterReorders() const { return SumOverPids(&TsPidReport::CounterReorders); }

const TsPidReport* TsStreamChecker::Pid(uint16_t pid) const {
    const auto found = pids_.find(pid);
    return found == pids_.end() ? nullptr : &found->second.Report;
}

std::vector<uint16_t> TsStreamChecker::Pids() const {
    std::vector<uint16_t> pids;
    for (const auto& entry : pids_) pids.push_back(entry.first);
    return pids;
}

bool TsStreamChecker::Clean() const {
    return SyncLosses() == 0 && transportErrors_ == 0 && crcErrors_ == 0 && CcErrors() == 0 &&
           CounterGaps() == 0 && CounterDuplicates() == 0 && CounterReorders() == 0 &&
           indexRegressions_ == 0;
}
