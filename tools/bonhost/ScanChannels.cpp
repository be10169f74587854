#include "tools/bonhost/ScanChannels.h"

#include "platform/WideText.h"

namespace {

constexpr size_t NameSpan = ChannelList::MaxNameLength + 1;

std::string Utf8(const WideChar* text) {
    std::string out;
    AppendUtf8(&out, text, WideLength(text, NameSpan));
    return out;
}

}  // namespace

ChannelList ScanChannels::Locked(const std::vector<ScanRow>& rows, const ChannelList& plan,
                                 std::vector<std::string>* notes) {
    ChannelList locked(plan.GetNetwork());
    for (const ScanRow& row : rows) {
        if (!row.Locked) continue;
        const ChannelRow* planned = plan.Channel(row.Space, row.Channel);
        if (planned == nullptr || Utf8(planned->Name) != row.ChannelName) {
            notes->push_back(row.SpaceName + " " + row.ChannelName +
                             " left out: the driver's channel list changed during the scan");
            continue;
        }
        const WideChar* space = plan.SpaceName(row.Space);
        ChannelEntry entry;
        entry.Space.assign(space, WideLength(space, NameSpan));
        entry.Name.assign(planned->Name, WideLength(planned->Name, NameSpan));
        entry.FrequencyKHz = planned->Frequency;
        entry.HasTsid = plan.GetNetwork() == Network::IsdbS;
        entry.Tsid = planned->Tsid;
        std::string error;
        if (!locked.Add(entry, &error))
            notes->push_back(row.SpaceName + " " + row.ChannelName + " left out: " + error);
    }
    return locked;
}
