// Arbitrary bytes as NIT-actual sections (with their length and CRC made
// right, so the reader sees more than CRC failures), one section or several
// cut from the input, straight to the table and as packets through the
// service scanner; then as what a --nit scan read on a BS and a CS110 row:
// whatever the NIT says, the channel file composed from it loads as the list
// it was made of, and a table only claims to be complete with every section.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "channels/ChannelFileParser.h"
#include "tools/bonhost/NitChannels.h"
#include "ts/TsCrc32.h"
#include "ts/TsNitTable.h"
#include "ts/TsSectionPackets.h"
#include "ts/TsServiceScanner.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// Cuts the input into sections: each takes a length byte from the input,
// becomes a NIT actual (table 0x40, long form, current) and is sealed.
std::vector<std::vector<uint8_t>> Sections(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> sections;
    for (size_t at = 0; at < size && sections.size() < 8;) {
        const size_t length = 12 + (size_t(data[at]) << 2);
        ++at;
        const size_t take = length < size - at ? length : size - at;
        std::vector<uint8_t> section(data + at, data + at + take);
        at += take;
        if (section.size() < 8) section.resize(8, 0);
        section[0] = 0x40;
        const size_t total = section.size() + 4 - 3;
        section[1] = static_cast<uint8_t>(0xF0 | ((total >> 8) & 0x0F));
        section[2] = static_cast<uint8_t>(total);
        section[5] |= 0x01;
        const uint32_t crc = MpegCrc32(section.data(), section.size());
        for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
        if (section.size() <= 4096) sections.push_back(std::move(section));
    }
    return sections;
}

void CheckTable(const TsNitTable& table) {
    if (!table.Complete()) return;
    Require(table.SectionsHeld() == table.SectionsExpected());
    for (const TsNitStream& stream : table.Streams())
        if (stream.HasSatellite) Require(stream.Satellite.FrequencyKHz % 10 == 0);
}

ScanRow Row(uint32_t space, const char* spaceName, const char* name, const TsNitTable& nit) {
    ScanRow row;
    row.Space = space;
    row.SpaceName = spaceName;
    row.ChannelName = name;
    row.Locked = true;
    row.Nit = nit;
    return row;
}

void ComposeFrom(const TsNitTable& nit) {
    const ChannelList plan = ChannelList::BuiltIn(Network::IsdbS);
    NitChannels channels(plan);
    channels.Take(Row(0, "BS", "BS1/TS0", nit));
    channels.Take(Row(1, "CS110", "ND2", nit));
    for (uint32_t space = 0; space < 2; ++space)
        for (uint32_t channel = 0; channel < plan.ChannelCount(space); ++channel) channels.Announced(space, channel);
    std::string text;
    ChannelList list;
    std::vector<std::string> notes;
    if (!channels.Compose(&text, &list, &notes)) return;
    ChannelList loaded;
    ChannelFileError error;
    Require(ChannelFileParser::Parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), Network::IsdbS,
                                     &loaded, &error));
    Require(loaded == list && list.TotalChannels() > 0);
    std::vector<ScanRow> rows = {Row(0, "BS", "BS1/TS0", nit)};
    NitChannels::Comparison(rows, plan);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::vector<uint8_t>> sections = Sections(data, size);
    TsNitTable direct;
    for (const std::vector<uint8_t>& section : sections) direct.Section(section.data(), section.size());
    CheckTable(direct);
    std::vector<uint8_t> packets = TsSectionPackets::Build(0x0010, sections);
    for (size_t at = 0; at < packets.size(); at += 188) TsSectionPackets::SetCounter(&packets[at], uint8_t(at / 188));
    TsServiceScanner scanner;
    scanner.Feed(packets.data(), packets.size());
    CheckTable(scanner.Nit());
    Require(scanner.Nit().SectionsRead() == direct.SectionsRead());
    ComposeFrom(direct);
    // The raw input as a stream too.
    TsServiceScanner raw;
    raw.Feed(data, size);
    CheckTable(raw.Nit());
    return 0;
}
