// The satellites' own list of what they carry, read from the NIT actual of
// each network: `bonhost scan --nit` writes the channel file from it, and a
// plain scan compares it with the driver's list. Plain list work, kept apart
// from the Windows side so it builds, is tested and is fuzzed anywhere.
//
// Which rows a --nit scan tunes: the rows of the driver's list that no NIT
// read so far announces (same downlink and TSID), in list order, so with a
// list that is right one row of each network is enough (CS110 has two).
//
// What it writes, per tuning space: where some NIT was read whole there,
// every stream those NITs announce with a downlink, named as the built-in
// plan names its rows (BS "BSn/TSm": transponder n, m the stream's rank on
// it by relative TS number, the TSID's low three bits, so 0x40F1 is
// BS15/TS0; CS110 "NDn"), plus the rows that locked although no NIT lists
// them; sorted by frequency and TSID. A row that was tried, did not lock
// and no NIT announces is left out, with a note. A space where no row
// locked, or no NIT was read whole, keeps its rows as they are, and the
// notes say so. The result is written and read back with the channel
// file's own writer and parser before it is handed out, so what a caller
// writes always loads.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "channels/ChannelList.h"
#include "tools/bonhost/ScanReport.h"
#include "ts/TsNitStream.h"

class NitChannels {
public:
    // `plan` is the list the driver serves during the scan; it must outlive
    // this object.
    explicit NitChannels(const ChannelList& plan) : plan_(plan) {}
    explicit NitChannels(ChannelList&&) = delete;  // a plan that would be gone at once

    // True when a NIT taken so far announces row `channel` of `space`.
    bool Announced(uint32_t space, uint32_t channel) const;

    // What a tuned row gave (ScanRow::Nit and its losses). A row whose name
    // is not the plan's (the list changed) tells nothing.
    void Take(const ScanRow& row);

    // The channel file to write (its text, which loads as *list) and the
    // notes that go with it; false with the reason in *notes when there is
    // nothing to write (no row of any space to keep or announce).
    bool Compose(std::string* text, ChannelList* list, std::vector<std::string>* notes) const;

    // One line per row tuned: what its NIT said, or what of it arrived.
    const std::vector<std::string>& Readings() const { return readings_; }

    // After a plain scan of an ISDB-S list: how many locked rows the NIT of
    // their network does not list and how many streams the NITs announce
    // that the list lacks, with the hint to run --nit. Empty for ISDB-T or
    // when no NIT was read whole.
    static std::string Comparison(const std::vector<ScanRow>& rows, const ChannelList& plan);

    // The name of a stream of space "BS" (`bs`) or "CS110" on `frequencyKHz`
    // whose rank on it is `rank` of `onFrequency` streams.
    static ChannelString StreamName(bool bs, uint32_t frequencyKHz, uint16_t tsid, uint32_t rank,
                                    uint32_t onFrequency);

private:
    struct NetworkRead {
        uint32_t Space = 0;         // the list space of the row it was read on
        std::string Where;          // that row's name
        std::vector<TsNitStream> Streams;
    };
    struct Candidate {
        ChannelEntry Entry;
        std::string From;           // for notes: which NIT or "kept"
    };

    bool SpaceLocked(uint32_t space) const;
    bool SpaceHasNit(uint32_t space) const;
    bool Lists(uint32_t space, uint32_t frequencyKHz, uint16_t tsid) const;
    std::vector<Candidate> SpaceFromNit(uint32_t space, std::vector<std::string>* notes) const;
    void KeepRows(uint32_t space, bool all, std::vector<Candidate>* rows, std::vector<std::string>* notes) const;
    ChannelEntry EntryOfRow(uint32_t space, uint32_t channel) const;
    static std::string Reading(const ScanRow& row);

    const ChannelList& plan_;
    std::map<uint16_t, NetworkRead> networks_;            // by network_id, the first read whole
    std::map<std::pair<uint32_t, uint32_t>, bool> tried_;  // (space, channel) -> locked
    std::vector<std::string> readings_;
};
