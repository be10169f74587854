#include "ts/TsNitSections.h"

#include <algorithm>

#include "ts/TsCrc32.h"

namespace {

constexpr uint8_t NitActualTable = 0x40;
constexpr uint8_t NetworkNameDescriptor = 0x40;
constexpr uint8_t ServiceListDescriptor = 0x41;
constexpr uint8_t SatelliteDeliveryDescriptor = 0x43;
constexpr size_t MaxSections = 256;
constexpr size_t MaxDescriptorBody = 255;
// table_id to last_section_number, the two loop lengths and the CRC.
constexpr size_t Overhead = 8 + 2 + 2 + 4;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// `value` as `digits` BCD digits, most significant first (values beyond
// the digits keep their low digits).
uint32_t Bcd(uint32_t value, int digits) {
    uint32_t bcd = 0;
    for (int i = 0; i < digits; ++i, value /= 10) bcd |= (value % 10) << (4 * i);
    return bcd;
}

void PutSatelliteDelivery(std::vector<uint8_t>& out, const TsSatelliteDelivery& delivery) {
    out.push_back(SatelliteDeliveryDescriptor);
    out.push_back(11);
    const uint32_t frequency = Bcd(delivery.FrequencyKHz / 10, 8);  // units of 10 kHz
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(frequency >> shift));
    Put16(out, Bcd(delivery.OrbitalPosition, 4));
    out.push_back(static_cast<uint8_t>((delivery.East ? 0x80 : 0x00) | ((delivery.Polarisation & 0x03) << 5) |
                                       (delivery.Modulation & 0x1F)));
    const uint32_t symbols = (Bcd(delivery.SymbolRate, 7) << 4) | (delivery.FecInner & 0x0F);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(symbols >> shift));
}

}  // namespace

std::vector<uint8_t> TsNitSections::Entry(const TsNitStream& stream) {
    std::vector<uint8_t> descriptors;
    const size_t services = std::min(stream.Services.size(), MaxServicesPerStream);
    if (services > 0) {
        descriptors.push_back(ServiceListDescriptor);
        descriptors.push_back(static_cast<uint8_t>(3 * services));
        for (size_t i = 0; i < services; ++i) {
            Put16(descriptors, stream.Services[i].ServiceId);
            descriptors.push_back(stream.Services[i].ServiceType);
        }
    }
    if (stream.HasSatellite) PutSatelliteDelivery(descriptors, stream.Satellite);
    std::vector<uint8_t> entry;
    Put16(entry, stream.Tsid);
    Put16(entry, stream.OriginalNetworkId);
    Put16(entry, 0xF000u | static_cast<uint32_t>(descriptors.size()));
    entry.insert(entry.end(), descriptors.begin(), descriptors.end());
    return entry;
}

std::vector<uint8_t> TsNitSections::Section(const TsNitNetwork& network,
                                            const std::vector<uint8_t>& descriptors,
                                            const std::vector<uint8_t>& loop) {
    std::vector<uint8_t> section = {NitActualTable, 0xF0, 0x00};
    Put16(section, network.NetworkId);
    section.push_back(static_cast<uint8_t>(0xC1 | ((network.Version & 0x1F) << 1)));
    section.push_back(0x00);  // section_number and last_section_number, set by Build
    section.push_back(0x00);
    Put16(section, 0xF000u | static_cast<uint32_t>(descriptors.size()));
    section.insert(section.end(), descriptors.begin(), descriptors.end());
    Put16(section, 0xF000u | static_cast<uint32_t>(loop.size()));
    section.insert(section.end(), loop.begin(), loop.end());
    return section;
}

std::vector<std::vector<uint8_t>> TsNitSections::Build(const TsNitNetwork& network) {
    std::vector<uint8_t> descriptors;
    if (!network.NameBytes.empty()) {
        const size_t length = std::min(network.NameBytes.size(), MaxDescriptorBody);
        descriptors.push_back(NetworkNameDescriptor);
        descriptors.push_back(static_cast<uint8_t>(length));
        descriptors.insert(descriptors.end(), network.NameBytes.begin(), network.NameBytes.begin() + length);
    }
    const size_t room = MaxSectionSize - Overhead - descriptors.size();
    std::vector<std::vector<uint8_t>> loops(1);
    for (const TsNitStream& stream : network.Streams) {
        const std::vector<uint8_t> entry = Entry(stream);
        if (loops.back().size() + entry.size() > room) {
            if (loops.size() == MaxSections) break;
            loops.emplace_back();
        }
        loops.back().insert(loops.back().end(), entry.begin(), entry.end());
    }
    std::vector<std::vector<uint8_t>> sections;
    for (size_t number = 0; number < loops.size(); ++number) {
        std::vector<uint8_t> section = Section(network, descriptors, loops[number]);
        section[6] = static_cast<uint8_t>(number);
        section[7] = static_cast<uint8_t>(loops.size() - 1);
        const size_t length = section.size() - 3 + 4;
        section[1] = static_cast<uint8_t>(0xF0 | (length >> 8));
        section[2] = static_cast<uint8_t>(length);
        const uint32_t crc = MpegCrc32(section.data(), section.size());
        for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
        sections.push_back(std::move(section));
    }
    return sections;
}
