// TsNitTable: the NIT actual (table 0x40) of the network a transport stream
// belongs to, gathered from its sections as they arrive: which transport
// streams the network announces, with their services and satellite
// delivery (the downlink frequency a tuner needs).
//
// The table is complete once every section (0 to last_section_number) of
// one version of one network has arrived. A section of another version or
// network, or one that disagrees about last_section_number, starts the
// table afresh; a section that comes again replaces its earlier copy, so a
// repeated section never makes a stream appear twice. A section whose
// loops do not fit (a descriptor or transport stream loop that runs past
// the section's end, an entry cut in the middle) is refused whole and
// counted as malformed: a table never holds half an entry. Every read is
// bounds-checked; any bytes are safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "ts/TsNitStream.h"

class TsNitTable {
public:
    enum class Parse { Taken, Ignored, Malformed };

    // Takes one section whose CRC was checked (TsSectionAssembler). Anything
    // but a NIT actual that applies now (current_next_indicator set) is
    // ignored.
    Parse Section(const uint8_t* section, size_t size);

    // Some well-formed section arrived: network, version and section count are known.
    bool HasNetwork() const { return hasNetwork_; }
    uint16_t NetworkId() const { return networkId_; }
    uint8_t Version() const { return version_; }
    uint32_t SectionsExpected() const { return hasNetwork_ ? lastSection_ + 1u : 0u; }
    uint32_t SectionsHeld() const { return static_cast<uint32_t>(sections_.size()); }
    bool Complete() const { return hasNetwork_ && SectionsHeld() == SectionsExpected(); }

    // The streams of the sections held, by section number, each section's
    // in the order announced.
    std::vector<TsNitStream> Streams() const;

    // Well-formed NIT-actual sections taken, repeats included.
    uint64_t SectionsRead() const { return sectionsRead_; }
    uint64_t Malformed() const { return malformed_; }
    // Times a section of another version or network started the table afresh.
    uint64_t Restarts() const { return restarts_; }

private:
    struct Parsed {
        uint16_t NetworkId = 0;
        uint8_t Version = 0;
        uint8_t Number = 0;
        uint8_t Last = 0;
        std::vector<TsNitStream> Streams;
    };

    static Parse Read(const uint8_t* section, size_t size, Parsed* parsed);
    static bool ReadStreams(const uint8_t* loop, size_t size, std::vector<TsNitStream>* streams);
    static bool ReadEntryDescriptors(const uint8_t* data, size_t size, TsNitStream* stream);

    bool hasNetwork_ = false;
    uint16_t networkId_ = 0;
    uint8_t version_ = 0;
    uint8_t lastSection_ = 0;
    std::map<uint8_t, std::vector<TsNitStream>> sections_;  // by section_number
    uint64_t sectionsRead_ = 0, malformed_ = 0, restarts_ = 0;
};
