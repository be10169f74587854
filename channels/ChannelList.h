// The channel plan of one network as the driver serves it to the host: the
// built-in plan, or the plan of a channel file. Each space remembers which
// space of the built-in plan it is, because that decides how its rows are
// tuned (system type, bandwidth, the LNB conversion for satellite).
//
// The list owns every name it hands out. Names and rows keep their address
// for the life of the object, moves included (a built-in list points at the
// plan's static tables), so the driver can give them to the host until
// Release. Every list Add builds can be written back by ChannelFileWriter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channels/ChannelPlan.h"
#include "channels/ChannelText.h"

// One channel as a file or a scan states it, before it is checked.
struct ChannelEntry {
    ChannelString Space;  // "UFH", "CATV", "BS" or "CS110"
    ChannelString Name;
    uint32_t FrequencyKHz = 0;
    bool HasTsid = false;
    uint16_t Tsid = 0;
};

class ChannelList {
public:
    static constexpr uint32_t MaxChannels = 1000;
    static constexpr size_t MaxNameLength = 64;  // UTF-16 units

    // No network: no spaces.
    ChannelList() noexcept = default;
    // An empty list of `network` that Add fills.
    explicit ChannelList(Network network) noexcept : network_(network) {}
    // The built-in plan of `network`, giving exactly the built-in answers
    // (the same pointers). Allocates nothing.
    static ChannelList BuiltIn(Network network) noexcept;

    ChannelList(ChannelList&&) noexcept = default;
    ChannelList& operator=(ChannelList&&) noexcept = default;
    ChannelList(const ChannelList&) = delete;
    ChannelList& operator=(const ChannelList&) = delete;

    Network GetNetwork() const { return network_; }
    uint32_t SpaceCount() const { return spaceCount_; }
    uint32_t TotalChannels() const;
    // Null when there is no such space; owned by the list.
    const WideChar* SpaceName(uint32_t space) const;
    // 0 when there is no such space.
    uint32_t ChannelCount(uint32_t space) const;
    // Null when there is no such row; owned by the list.
    const ChannelRow* Channel(uint32_t space, uint32_t channel) const;
    // Fills the request of a row as FillTuneRequest does for the built-in
    // space it belongs to; false (request untouched) when there is no row.
    bool FillTuneRequest(uint32_t space, uint32_t channel, TuneRequest* request) const;

    // Appends `entry` to its space (a new space goes after the others) of a
    // list made by ChannelList(Network); a built-in list takes nothing.
    // Refuses, with a one-line reason in *error and the list unchanged, a
    // space the network lacks, a frequency outside the space's band, a
    // missing satellite TSID or a terrestrial one, an empty, over-long or
    // unwritable name (control characters, ',' or '#', surrounding blanks,
    // an unpaired surrogate), a name already in the space, and channel
    // MaxChannels + 1.
    bool Add(const ChannelEntry& entry, std::string* error);

    // Same network, spaces, names, frequencies and TSIDs in the same order.
    bool operator==(const ChannelList& other) const;
    bool operator!=(const ChannelList& other) const { return !(*this == other); }

private:
    struct Space {
        uint32_t PlanSpace = 0;              // its index in the built-in plan
        const ChannelRow* Fixed = nullptr;   // the built-in table, or null
        uint32_t FixedCount = 0;
        std::vector<ChannelRow> Added;       // rows of a list built by Add
    };

    const Space* FindSpace(uint32_t space) const;
    bool CheckEntry(const ChannelEntry& entry, int32_t planSpace, std::string* error) const;
    bool CheckName(const ChannelString& name, std::string* error) const;
    bool IsNameTaken(int32_t planSpace, const ChannelString& name) const;
    uint32_t SpaceIndexFor(uint32_t planSpace) const;
    template <class Vector>
    static void Reserve(Vector* vector);

    Network network_ = Network::None;
    Space spaces_[2];  // a network has two spaces at most
    uint32_t spaceCount_ = 0;
    std::vector<std::unique_ptr<WideChar[]>> names_;  // the text behind Added rows
};
