#include "tools/bonhost/NitChannels.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "channels/ChannelFileParser.h"
#include "channels/ChannelFileWriter.h"
#include "platform/WideText.h"

namespace {

constexpr size_t NameSpan = ChannelList::MaxNameLength + 1;
// The transponder rasters of the built-in plan: BS 1, 3, ... 23 and ND2, 4, ... 24.
constexpr uint32_t BsFirstKHz = 11727480, BsStepKHz = 19180;
constexpr uint32_t Cs110FirstKHz = 12291000, Cs110StepKHz = 20000;

std::string Utf8(const WideChar* text) {
    std::string out;
    if (text != nullptr) AppendUtf8(&out, text, WideLength(text, NameSpan));
    return out;
}

ChannelString Wide(const std::string& ascii) { return ChannelString(ascii.begin(), ascii.end()); }

std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string Plural(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "BS3/TS1 (11765840 kHz, TSID 0x4031)"
std::string Describe(const ChannelString& name, uint32_t frequencyKHz, uint16_t tsid) {
    return Utf8Of(name) + " (" + std::to_string(frequencyKHz) + " kHz, TSID " + Hex4(tsid) + ")";
}

bool Carries(const std::vector<TsNitStream>& streams, uint32_t frequencyKHz, uint16_t tsid) {
    return std::any_of(streams.begin(), streams.end(), [&](const TsNitStream& stream) {
        return stream.HasSatellite && stream.Satellite.FrequencyKHz == frequencyKHz && stream.Tsid == tsid;
    });
}

// Transponder number from the raster (the built-in plan's: BS1 11727480 kHz
// and one number every 19180 kHz, ND2 12291000 kHz and one every 20000 kHz),
// or from the TSID, whose bits 4-8 carry it on both satellites, for a
// frequency off the raster.
uint32_t Transponder(uint32_t firstKHz, uint32_t stepKHz, uint32_t firstNumber, uint32_t frequencyKHz,
                     uint16_t tsid) {
    if (frequencyKHz >= firstKHz && (frequencyKHz - firstKHz) % stepKHz == 0)
        return firstNumber + (frequencyKHz - firstKHz) / stepKHz;
    return (tsid >> 4) & 0x1F;
}

}  // namespace

ChannelString NitChannels::StreamName(bool bs, uint32_t frequencyKHz, uint16_t tsid, uint32_t rank,
                                      uint32_t onFrequency) {
    const uint32_t number = bs ? Transponder(BsFirstKHz, BsStepKHz, 1, frequencyKHz, tsid)
                               : Transponder(Cs110FirstKHz, Cs110StepKHz, 2, frequencyKHz, tsid);
    const std::string stream = "/TS" + std::to_string(rank);
    if (bs) return Wide("BS" + std::to_string(number) + stream);
    return Wide("ND" + std::to_string(number) + (onFrequency > 1 ? stream : std::string()));
}

bool NitChannels::Announced(uint32_t space, uint32_t channel) const {
    const ChannelRow* row = plan_.Channel(space, channel);
    return row != nullptr && Lists(space, row->Frequency, row->Tsid);
}

bool NitChannels::Lists(uint32_t space, uint32_t frequencyKHz, uint16_t tsid) const {
    for (const auto& network : networks_)
        if (network.second.Space == space && Carries(network.second.Streams, frequencyKHz, tsid)) return true;
    return false;
}

void NitChannels::Take(const ScanRow& row) {
    const ChannelRow* planned = plan_.Channel(row.Space, row.Channel);
    if (planned == nullptr || Utf8(planned->Name) != row.ChannelName) {
        readings_.push_back(row.SpaceName + " " + row.ChannelName +
                            ": not used, the driver's channel list changed during the scan");
        return;
    }
    tried_[{row.Space, row.Channel}] = row.Locked;
    readings_.push_back(Reading(row));
    if (!row.Locked || !row.Nit.Complete() || networks_.count(row.Nit.NetworkId())) return;
    NetworkRead read;
    read.Space = row.Space;
    read.Where = row.SpaceName + " " + row.ChannelName;
    read.Streams = row.Nit.Streams();
    networks_[row.Nit.NetworkId()] = std::move(read);
}

std::string NitChannels::Reading(const ScanRow& row) {
    std::string line = row.SpaceName + " " + row.ChannelName + ": ";
    if (!row.Locked) return line + "no stream";
    const TsNitTable& nit = row.Nit;
    const std::string table = "network " + std::to_string(nit.NetworkId()) + ", version " +
                              std::to_string(nit.Version());
    if (nit.Complete()) {
        const std::vector<TsNitStream> streams = nit.Streams();
        const size_t bare = std::count_if(streams.begin(), streams.end(),
                                          [](const TsNitStream& stream) { return !stream.HasSatellite; });
        line += "NIT of " + table + " (" + Plural(nit.SectionsExpected(), "section", "sections") + "): " +
                Plural(streams.size(), "transport stream", "transport streams");
        if (bare > 0) line += ", " + std::to_string(bare) + " of them without a downlink";
    } else if (nit.HasNetwork()) {
        line += "no whole NIT: " + std::to_string(nit.SectionsHeld()) + " of " +
                Plural(nit.SectionsExpected(), "section", "sections") + " of " + table;
    } else {
        line += "no NIT section arrived whole";
    }
    std::vector<std::string> losses;
    if (row.NitCrcErrors > 0) losses.push_back(std::to_string(row.NitCrcErrors) + " refused for their CRC");
    if (row.NitSectionsCut > 0) losses.push_back(std::to_string(row.NitSectionsCut) + " cut short");
    if (nit.Malformed() > 0)
        losses.push_back(std::to_string(nit.Malformed()) + " malformed (a loop running past its section)");
    if (nit.Restarts() > 0) losses.push_back(std::to_string(nit.Restarts()) + " changes of version or network");
    for (size_t i = 0; i < losses.size(); ++i) line += (i == 0 ? "; NIT sections " : ", ") + losses[i];
    return line;
}

bool NitChannels::SpaceLocked(uint32_t space) const {
    for (const auto& tried : tried_)
        if (tried.first.first == space && tried.second) return true;
    return false;
}

bool NitChannels::SpaceHasNit(uint32_t space) const {
    for (const auto& network : networks_)
        if (network.second.Space == space) return true;
    return false;
}

ChannelEntry NitChannels::EntryOfRow(uint32_t space, uint32_t channel) const {
    const ChannelRow& row = *plan_.Channel(space, channel);
    const WideChar* spaceName = plan_.SpaceName(space);
    ChannelEntry entry;
    entry.Space.assign(spaceName, WideLength(spaceName, NameSpan));
    entry.Name.assign(row.Name, WideLength(row.Name, NameSpan));
    entry.FrequencyKHz = row.Frequency;
    entry.HasTsid = true;
    entry.Tsid = row.Tsid;
    return entry;
}

std::vector<NitChannels::Candidate> NitChannels::SpaceFromNit(uint32_t space,
                                                              std::vector<std::string>* notes) const {
    // Every stream announced once, grouped by frequency, each group by relative TS number.
    std::vector<std::pair<uint16_t, const TsNitStream*>> streams;  // (network, stream)
    std::set<std::pair<uint32_t, uint16_t>> seen;
    for (const auto& network : networks_) {
        if (network.second.Space != space) continue;
        for (const TsNitStream& stream : network.second.Streams) {
            if (!stream.HasSatellite) {
                notes->push_back("left out: network " + std::to_string(network.first) + " announces TSID " +
                                 Hex4(stream.Tsid) + " without a downlink");
                continue;
            }
            if (seen.insert({stream.Satellite.FrequencyKHz, stream.Tsid}).second)
                streams.emplace_back(network.first, &stream);
        }
    }
    std::sort(streams.begin(), streams.end(), [](const auto& a, const auto& b) {
        const uint32_t fa = a.second->Satellite.FrequencyKHz, fb = b.second->Satellite.FrequencyKHz;
        if (fa != fb) return fa < fb;
        const int ra = a.second->Tsid & 0x07, rb = b.second->Tsid & 0x07;
        return ra != rb ? ra < rb : a.second->Tsid < b.second->Tsid;
    });
    const bool bs = Utf8(plan_.SpaceName(space)) == "BS";
    const WideChar* spaceName = plan_.SpaceName(space);
    std::vector<Candidate> candidates;
    for (size_t first = 0; first < streams.size();) {
        const uint32_t frequency = streams[first].second->Satellite.FrequencyKHz;
        size_t end = first;
        while (end < streams.size() && streams[end].second->Satellite.FrequencyKHz == frequency) ++end;
        for (size_t at = first; at < end; ++at) {
            Candidate candidate;
            candidate.Entry.Space.assign(spaceName, WideLength(spaceName, NameSpan));
            candidate.Entry.FrequencyKHz = frequency;
            candidate.Entry.HasTsid = true;
            candidate.Entry.Tsid = streams[at].second->Tsid;
            candidate.Entry.Name = StreamName(bs, frequency, candidate.Entry.Tsid, static_cast<uint32_t>(at - first),
                                              static_cast<uint32_t>(end - first));
            candidate.From = "the NIT of network " + std::to_string(streams[at].first);
            candidates.push_back(std::move(candidate));
        }
        first = end;
    }
    return candidates;
}

void NitChannels::KeepRows(uint32_t space, bool all, std::vector<Candidate>* rows,
                           std::vector<std::string>* notes) const {
    for (uint32_t channel = 0; channel < plan_.ChannelCount(space); ++channel) {
        Candidate kept;
        kept.Entry = EntryOfRow(space, channel);
        kept.From = "the driver's list";
        const std::string row = Describe(kept.Entry.Name, kept.Entry.FrequencyKHz, kept.Entry.Tsid);
        if (!all) {
            if (Lists(space, kept.Entry.FrequencyKHz, kept.Entry.Tsid)) continue;
            const auto tried = tried_.find({space, channel});
            if (tried == tried_.end()) {
                notes->push_back("kept: " + row + ", not tried");
            } else if (tried->second) {
                notes->push_back("kept: " + row + " locked, though no NIT read whole lists it");
            } else {
                notes->push_back("left out: " + row + ": nothing received, and no NIT announces it");
                continue;
            }
        }
        rows->push_back(std::move(kept));
    }
}

bool NitChannels::Compose(std::string* text, ChannelList* composed, std::vector<std::string>* notes) const {
    ChannelList list(plan_.GetNetwork());
    for (uint32_t space = 0; space < plan_.SpaceCount(); ++space) {
        const std::string name = Utf8(plan_.SpaceName(space));
        const std::string rows = Plural(plan_.ChannelCount(space), "row", "rows");
        std::vector<Candidate> candidates;
        if (!SpaceLocked(space) || !SpaceHasNit(space)) {
            const bool tried = std::any_of(tried_.begin(), tried_.end(),
                                           [space](const auto& entry) { return entry.first.first == space; });
            const char* why = !tried ? "not scanned" : !SpaceLocked(space) ? "no row locked" : "no NIT was read whole";
            notes->push_back(name + ": " + why + ", so its " + rows + " are kept as they are");
            KeepRows(space, true, &candidates, notes);
        } else {
            candidates = SpaceFromNit(space, notes);
            KeepRows(space, false, &candidates, notes);
            std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
                if (a.Entry.FrequencyKHz != b.Entry.FrequencyKHz) return a.Entry.FrequencyKHz < b.Entry.FrequencyKHz;
                return a.Entry.Tsid < b.Entry.Tsid;
            });
        }
        for (const Candidate& candidate : candidates) {
            std::string error;
            if (!list.Add(candidate.Entry, &error))
                notes->push_back("left out: " + Describe(candidate.Entry.Name, candidate.Entry.FrequencyKHz,
                                                         candidate.Entry.Tsid) +
                                 " of " + candidate.From + ": " + error);
        }
    }
    if (list.TotalChannels() == 0) {
        notes->push_back("nothing to write: no NIT was read whole and no row is kept");
        return false;
    }
    const std::string written = ChannelFileWriter::Write(list);
    ChannelList back;
    ChannelFileError error;
    if (!ChannelFileParser::Parse(reinterpret_cast<const uint8_t*>(written.data()), written.size(),
                                  plan_.GetNetwork(), &back, &error) ||
        back != list) {
        notes->push_back("not written: the channel file would not load (line " + std::to_string(error.Line) +
                         ": " + error.Message + ")");
        return false;
    }
    *text = written;
    *composed = std::move(list);
    return true;
}

std::string NitChannels::Comparison(const std::vector<ScanRow>& rows, const ChannelList& plan) {
    if (plan.GetNetwork() != Network::IsdbS) return std::string();
    NitChannels nit(plan);
    for (const ScanRow& row : rows) nit.Take(row);
    if (nit.networks_.empty()) return std::string();
    size_t locked = 0, unlisted = 0, lacking = 0;
    for (const ScanRow& row : rows) {
        const ChannelRow* planned = plan.Channel(row.Space, row.Channel);
        if (!row.Locked || planned == nullptr || Utf8(planned->Name) != row.ChannelName) continue;
        ++locked;
        const auto network = nit.networks_.find(row.Nit.NetworkId());
        if (row.Nit.HasNetwork() && network != nit.networks_.end() &&
            !Carries(network->second.Streams, planned->Frequency, planned->Tsid))
            ++unlisted;
    }
    for (const auto& network : nit.networks_) {
        for (const TsNitStream& stream : network.second.Streams) {
            if (!stream.HasSatellite) continue;
            bool inList = false;
            for (uint32_t channel = 0; channel < plan.ChannelCount(network.second.Space) && !inList; ++channel) {
                const ChannelRow* row = plan.Channel(network.second.Space, channel);
                inList = row->Frequency == stream.Satellite.FrequencyKHz && row->Tsid == stream.Tsid;
            }
            if (!inList) ++lacking;
        }
    }
    if (unlisted == 0 && lacking == 0)
        return "NIT: every locked row is in its network's NIT, and the list holds every transport stream the NITs "
               "announce\n";
    return "NIT: " + std::to_string(unlisted) + " of the " + std::to_string(locked) +
           " locked rows are not in their network's NIT, and the NITs announce " +
           Plural(lacking, "transport stream", "transport streams") +
           " the channel list lacks; bonhost scan --nit --write-channels FILE writes a channel file of what "
           "the satellites announce\n";
}
