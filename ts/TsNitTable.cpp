#include "ts/TsNitTable.h"

namespace {

constexpr uint8_t NitActualTable = 0x40;
constexpr uint8_t ServiceListDescriptor = 0x41;
constexpr uint8_t SatelliteDeliveryDescriptor = 0x43;
constexpr size_t LongHeaderSize = 8;
constexpr size_t CrcSize = 4;
constexpr size_t EntryHeaderSize = 6;
constexpr size_t SatelliteDeliverySize = 11;

uint16_t Read16(const uint8_t* data) { return static_cast<uint16_t>((data[0] << 8) | data[1]); }
size_t Length12(const uint8_t* data) { return Read16(data) & 0x0FFFu; }

// `digits` BCD digits from `data` (two a byte, most significant first);
// false when a digit is not 0-9.
bool ReadBcd(const uint8_t* data, int digits, uint32_t* value) {
    uint32_t result = 0;
    for (int i = 0; i < digits; ++i) {
        const uint32_t digit = (data[i / 2] >> (i % 2 ? 0 : 4)) & 0x0F;
        if (digit > 9) return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

// A descriptor whose numbers are not BCD says nothing a tuner can use: the
// stream is then taken as having no delivery descriptor.
bool ReadSatelliteDelivery(const uint8_t* body, size_t length, TsSatelliteDelivery* delivery) {
    if (length < SatelliteDeliverySize) return false;
    uint32_t frequency = 0, orbital = 0, symbols = 0;
    if (!ReadBcd(body, 8, &frequency) || !ReadBcd(body + 4, 4, &orbital) || !ReadBcd(body + 7, 7, &symbols))
        return false;
    delivery->FrequencyKHz = frequency * 10;
    delivery->OrbitalPosition = static_cast<uint16_t>(orbital);
    delivery->East = (body[6] & 0x80) != 0;
    delivery->Polarisation = static_cast<uint8_t>((body[6] >> 5) & 0x03);
    delivery->Modulation = static_cast<uint8_t>(body[6] & 0x1F);
    delivery->SymbolRate = symbols;
    delivery->FecInner = static_cast<uint8_t>(body[10] & 0x0F);
    return true;
}

// Calls `onDescriptor(tag, body, length)` for each descriptor of a loop;
// false when one runs past the loop's end.
template <class OnDescriptor>
bool ForEachDescriptor(const uint8_t* data, size_t size, OnDescriptor onDescriptor) {
    size_t at = 0;
    while (at < size) {
        if (size - at < 2) return false;
        const size_t length = data[at + 1];
        if (length > size - at - 2) return false;
        onDescriptor(data[at], data + at + 2, length);
        at += 2 + length;
    }
    return true;
}

}  // namespace

TsNitTable::Parse TsNitTable::Section(const uint8_t* section, size_t size) {
    Parsed parsed;
    const Parse result = Read(section, size, &parsed);
    if (result == Parse::Malformed) ++malformed_;
    if (result != Parse::Taken) return result;
    ++sectionsRead_;
    if (hasNetwork_ && (parsed.NetworkId != networkId_ || parsed.Version != version_ ||
                        parsed.Last != lastSection_)) {
        ++restarts_;
        sections_.clear();
    }
    hasNetwork_ = true;
    networkId_ = parsed.NetworkId;
    version_ = parsed.Version;
    lastSection_ = parsed.Last;
    sections_[parsed.Number] = std::move(parsed.Streams);
    return Parse::Taken;
}

std::vector<TsNitStream> TsNitTable::Streams() const {
    std::vector<TsNitStream> streams;
    for (const auto& entry : sections_) streams.insert(streams.end(), entry.second.begin(), entry.second.end());
    return streams;
}

TsNitTable::Parse TsNitTable::Read(const uint8_t* section, size_t size, Parsed* parsed) {
    if (section == nullptr || size < 3 || section[0] != NitActualTable) return Parse::Ignored;
    if (!(section[1] & 0x80) || size < LongHeaderSize + 4 + CrcSize) return Parse::Malformed;
    if (3 + Length12(section + 1) != size) return Parse::Malformed;
    if (!(section[5] & 0x01)) return Parse::Ignored;  // the next version, not yet in force
    parsed->NetworkId = Read16(section + 3);
    parsed->Version = static_cast<uint8_t>((section[5] >> 1) & 0x1F);
    parsed->Number = section[6];
    parsed->Last = section[7];
    if (parsed->Number > parsed->Last) return Parse::Malformed;
    const size_t end = size - CrcSize;
    size_t at = LongHeaderSize;
    const size_t descriptors = Length12(section + at);
    at += 2;
    if (descriptors > end - at || end - at - descriptors < 2) return Parse::Malformed;
    if (!ForEachDescriptor(section + at, descriptors, [](uint8_t, const uint8_t*, size_t) {}))
        return Parse::Malformed;
    at += descriptors;
    const size_t loop = Length12(section + at);
    at += 2;
    if (loop > end - at) return Parse::Malformed;  // a transport stream loop longer than its section
    return ReadStreams(section + at, loop, &parsed->Streams) ? Parse::Taken : Parse::Malformed;
}

bool TsNitTable::ReadStreams(const uint8_t* loop, size_t size, std::vector<TsNitStream>* streams) {
    for (size_t at = 0; at < size;) {
        if (size - at < EntryHeaderSize) return false;
        TsNitStream stream;
        stream.Tsid = Read16(loop + at);
        stream.OriginalNetworkId = Read16(loop + at + 2);
        const size_t length = Length12(loop + at + 4);
        at += EntryHeaderSize;
        if (length > size - at || !ReadEntryDescriptors(loop + at, length, &stream)) return false;
        streams->push_back(std::move(stream));
        at += length;
    }
    return true;
}

bool TsNitTable::ReadEntryDescriptors(const uint8_t* data, size_t size, TsNitStream* stream) {
    return ForEachDescriptor(data, size, [stream](uint8_t tag, const uint8_t* body, size_t length) {
        if (tag == ServiceListDescriptor) {
            for (size_t at = 0; at + 3 <= length; at += 3)
                stream->Services.push_back(TsNitService{Read16(body + at), body[at + 2]});
        } else if (tag == SatelliteDeliveryDescriptor && !stream->HasSatellite) {
            stream->HasSatellite = ReadSatelliteDelivery(body, length, &stream->Satellite);
        }
    });
}
