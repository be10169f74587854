// TsNitSections: a network's NIT actual (table 0x40) as the sections a
// multiplexer sends: the network descriptors (its name), then every
// transport stream of the network with its service list and, where it has
// one, its satellite delivery system descriptor. A NIT section may hold at
// most 1024 bytes (section_length 1021), so a transport stream loop that
// does not fit is split over several sections, each repeating the network
// descriptors; a stream's entry is never split.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ts/TsNitStream.h"

struct TsNitNetwork {
    uint16_t NetworkId = 0;
    uint8_t Version = 0;               // 0-31
    std::vector<uint8_t> NameBytes;    // network_name_descriptor text, ARIB-coded; empty: none
    std::vector<TsNitStream> Streams;  // in the order they are announced
};

class TsNitSections {
public:
    static constexpr size_t MaxSectionSize = 1024;
    // Services one stream's service_list_descriptor holds (255 bytes of 3).
    static constexpr size_t MaxServicesPerStream = 85;

    // The sections, CRC included, numbered 0..N-1 with last_section_number
    // N-1; one section (with an empty loop) for a network of no streams.
    static std::vector<std::vector<uint8_t>> Build(const TsNitNetwork& network);

private:
    static std::vector<uint8_t> Entry(const TsNitStream& stream);
    static std::vector<uint8_t> Section(const TsNitNetwork& network, const std::vector<uint8_t>& descriptors,
                                        const std::vector<uint8_t>& loop);
};
