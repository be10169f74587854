// TsSectionAssembler: rebuilds the PSI/SI sections carried on one PID from
// its packets. A section may start anywhere a pointer_field says, span any
// number of packets and be followed by further sections or 0xFF stuffing.
//
// What is dropped, and why: a section whose packets break the continuity
// counter (a lost packet means lost bytes), one cut short by the next unit
// start, one longer than any table allows, and one whose CRC-32 does not
// check (sections with section_syntax_indicator set; the others carry no
// CRC and are handed on as they are). A repeated packet (same counter) is
// ignored, as are packets flagged with a transport error or scrambled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TsSectionAssembler {
public:
    static constexpr size_t PacketSize = 188;
    static constexpr size_t MaxSectionSize = 4096;

    // Takes one whole packet of this assembler's PID and appends every
    // section it completes to `sections`.
    void Feed(const uint8_t* packet, std::vector<std::vector<uint8_t>>* sections);

    uint64_t Sections() const { return sections_; }
    uint64_t CrcErrors() const { return crcErrors_; }
    // Continuity counter breaks seen (a discontinuity_indicator excuses one).
    uint64_t Discontinuities() const { return discontinuities_; }
    // Sections under way that were given up (breaks, cut short, oversized).
    uint64_t Dropped() const { return dropped_; }

private:
    bool Continues(const uint8_t* packet, bool discontinuityFlagged);
    void Payload(const uint8_t* data, size_t size, bool unitStart,
                 std::vector<std::vector<uint8_t>>* sections);
    void Append(const uint8_t* data, size_t size, std::vector<std::vector<uint8_t>>* sections);
    void Complete(std::vector<std::vector<uint8_t>>* sections);
    void Abandon();

    std::vector<uint8_t> partial_;
    bool collecting_ = false;  // partial_ holds the start of a section (or nothing yet)
    int lastCc_ = -1;
    uint64_t sections_ = 0, crcErrors_ = 0, discontinuities_ = 0, dropped_ = 0;
};
