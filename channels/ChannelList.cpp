#include "channels/ChannelList.h"

#include <algorithm>
#include <cstring>

#include "platform/WideText.h"

namespace {

bool IsControl(uint32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }
bool IsBlank(WideChar c) { return c == WIDE(' ') || c == WIDE('\t'); }

std::string Utf8(const WideChar* text) {
    std::string out;
    if (text != nullptr) AppendUtf8(&out, text, WideLength(text, ChannelList::MaxNameLength));
    return out;
}

// True when every high surrogate is followed by a low one and no low one stands alone.
bool SurrogatesPaired(const ChannelString& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint32_t unit = static_cast<uint16_t>(text[i]);
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit < 0xD800 || unit > 0xDBFF) continue;
        const uint32_t next = i + 1 < text.size() ? static_cast<uint16_t>(text[i + 1]) : 0;
        if (next < 0xDC00 || next > 0xDFFF) return false;
        ++i;
    }
    return true;
}

bool SameText(const WideChar* a, const ChannelString& b) {
    return WideLength(a, b.size() + 1) == b.size() && WideEqualN(a, b.c_str(), b.size());
}

std::string NetworkSpaces(Network network) {
    const char* label = network == Network::IsdbT ? "ISDBT" : "ISDBS";
    return std::string(label) + "'s are " + Utf8(TuningSpaceName(network, 0)) + " and " +
           Utf8(TuningSpaceName(network, 1));
}

}  // namespace

ChannelList ChannelList::BuiltIn(Network network) noexcept {
    ChannelList list(network);
    for (uint32_t space = 0; space < 2; ++space) {
        const ChannelRow* first = LookupChannel(network, space, 0);
        if (first == nullptr) break;
        Space& added = list.spaces_[list.spaceCount_++];
        added.PlanSpace = space;
        added.Fixed = first;
        added.FixedCount = ::ChannelCount(network, space);
    }
    return list;
}

uint32_t ChannelList::TotalChannels() const {
    uint32_t total = 0;
    for (uint32_t space = 0; space < spaceCount_; ++space) total += ChannelCount(space);
    return total;
}

const ChannelList::Space* ChannelList::FindSpace(uint32_t space) const {
    return space < spaceCount_ ? &spaces_[space] : nullptr;
}

const WideChar* ChannelList::SpaceName(uint32_t space) const {
    const Space* found = FindSpace(space);
    return found != nullptr ? TuningSpaceName(network_, found->PlanSpace) : nullptr;
}

uint32_t ChannelList::ChannelCount(uint32_t space) const {
    const Space* found = FindSpace(space);
    if (found == nullptr) return 0;
    return found->Fixed != nullptr ? found->FixedCount : static_cast<uint32_t>(found->Added.size());
}

const ChannelRow* ChannelList::Channel(uint32_t space, uint32_t channel) const {
    if (channel >= ChannelCount(space)) return nullptr;
    const Space& found = spaces_[space];
    return found.Fixed != nullptr ? &found.Fixed[channel] : &found.Added[channel];
}

bool ChannelList::FillTuneRequest(uint32_t space, uint32_t channel, TuneRequest* request) const {
    const ChannelRow* row = Channel(space, channel);
    if (row == nullptr) return false;
    ::FillTuneRequest(network_, spaces_[space].PlanSpace, *row, request);
    return true;
}

bool ChannelList::Add(const ChannelEntry& entry, std::string* error) {
    if (network_ == Network::None) {
        *error = "no tuning space can be used: the INI's NetworkName is neither ISDBT nor ISDBS";
        return false;
    }
    if (spaceCount_ != 0 && spaces_[0].Fixed != nullptr) {
        *error = "the built-in plan takes no channels";
        return false;
    }
    const int32_t planSpace = FindTuningSpace(network_, entry.Space.data(), entry.Space.size());
    if (!CheckEntry(entry, planSpace, error)) return false;
    // Everything that can fail to allocate comes before the list changes.
    std::unique_ptr<WideChar[]> name(new WideChar[entry.Name.size() + 1]);
    std::copy(entry.Name.begin(), entry.Name.end(), name.get());
    name[entry.Name.size()] = 0;
    Reserve(&names_);
    const uint32_t index = SpaceIndexFor(static_cast<uint32_t>(planSpace));
    Space& space = spaces_[index];
    Reserve(&space.Added);
    space.PlanSpace = static_cast<uint32_t>(planSpace);
    const uint16_t tsid = entry.HasTsid ? entry.Tsid : uint16_t(0);
    space.Added.push_back(ChannelRow{name.get(), entry.FrequencyKHz, tsid});
    names_.push_back(std::move(name));
    if (index == spaceCount_) ++spaceCount_;
    return true;
}

// The index of the list's space that holds rows of `planSpace`; spaceCount_
// (the next free one) when the list has none yet.
uint32_t ChannelList::SpaceIndexFor(uint32_t planSpace) const {
    for (uint32_t space = 0; space < spaceCount_; ++space)
        if (spaces_[space].PlanSpace == planSpace) return space;
    return spaceCount_;
}

// Room for one more element, so the push_back that follows cannot throw.
template <class Vector>
void ChannelList::Reserve(Vector* vector) {
    if (vector->size() == vector->capacity())
        vector->reserve(std::max<size_t>(8, 2 * vector->size()));
}

bool ChannelList::CheckEntry(const ChannelEntry& entry, int32_t planSpace,
                             std::string* error) const {
    if (planSpace < 0) {
        *error = "tuning space " + QuoteForMessage(entry.Space) + " is unknown; " +
                 NetworkSpaces(network_);
        return false;
    }
    const std::string space = Utf8(TuningSpaceName(network_, static_cast<uint32_t>(planSpace)));
    uint32_t low = 0, high = 0;
    TuningSpaceBand(network_, static_cast<uint32_t>(planSpace), &low, &high);
    if (entry.FrequencyKHz < low || entry.FrequencyKHz > high) {
        *error = "frequency " + std::to_string(entry.FrequencyKHz) + " kHz is outside " + space +
                 " (" + std::to_string(low) + "-" + std::to_string(high) + " kHz)";
        return false;
    }
    const bool satellite = network_ == Network::IsdbS;
    if (satellite != entry.HasTsid) {
        *error = satellite ? space + " channels need a TSID in hexadecimal after the frequency, "
                                     "such as 0x40F1"
                           : space + " channels take no TSID";
        return false;
    }
    if (!CheckName(entry.Name, error)) return false;
    if (IsNameTaken(planSpace, entry.Name)) {
        *error = "channel " + QuoteForMessage(entry.Name) + " is already listed in " + space;
        return false;
    }
    if (TotalChannels() >= MaxChannels) {
        *error = "more than " + std::to_string(MaxChannels) + " channels";
        return false;
    }
    return true;
}

bool ChannelList::CheckName(const ChannelString& name, std::string* error) const {
    if (name.empty()) {
        *error = "the channel name is empty";
    } else if (name.size() > MaxNameLength) {
        *error = "the channel name is longer than " + std::to_string(MaxNameLength) + " characters";
    } else if (IsBlank(name.front()) || IsBlank(name.back())) {
        *error = "the channel name starts or ends with a blank";
    } else if (std::any_of(name.begin(), name.end(), [](WideChar c) {
                   return IsControl(static_cast<uint16_t>(c));
               })) {
        *error = "the channel name holds a control character";
    } else if (name.find_first_of(WIDE(",#")) != ChannelString::npos) {
        *error = "the channel name holds ',' or '#', which a channel file cannot carry";
    } else if (!SurrogatesPaired(name)) {
        *error = "the channel name holds an unpaired UTF-16 surrogate";
    } else {
        return true;
    }
    return false;
}

bool ChannelList::IsNameTaken(int32_t planSpace, const ChannelString& name) const {
    for (uint32_t space = 0; space < spaceCount_; ++space) {
        if (spaces_[space].PlanSpace != static_cast<uint32_t>(planSpace)) continue;
        for (uint32_t row = 0; row < ChannelCount(space); ++row)
            if (SameText(Channel(space, row)->Name, name)) return true;
    }
    return false;
}

bool ChannelList::operator==(const ChannelList& other) const {
    if (network_ != other.network_ || spaceCount_ != other.spaceCount_) return false;
    for (uint32_t space = 0; space < spaceCount_; ++space) {
        if (spaces_[space].PlanSpace != other.spaces_[space].PlanSpace) return false;
        if (ChannelCount(space) != other.ChannelCount(space)) return false;
        for (uint32_t row = 0; row < ChannelCount(space); ++row) {
            const ChannelRow* a = Channel(space, row);
            const ChannelRow* b = other.Channel(space, row);
            const size_t length = WideLength(a->Name, MaxNameLength + 1);
            if (WideLength(b->Name, MaxNameLength + 1) != length ||
                !WideEqualN(a->Name, b->Name, length) || a->Frequency != b->Frequency ||
                a->Tsid != b->Tsid)
                return false;
        }
    }
    return true;
}
