// The channels a scan found, as a channel list: `bonhost scan
// --write-channels` saves it with the driver's own writer, so a user starts
// the channel file from what the antenna actually receives. Plain list work,
// kept apart from the Windows side so it builds and is tested anywhere.
#pragma once

#include <string>
#include <vector>

#include "channels/ChannelList.h"
#include "tools/bonhost/ScanReport.h"

class ScanChannels {
public:
    // The rows that locked, in scan order, each with the frequency and TSID
    // of the row of `plan` (the plan the driver served during the scan) it
    // was tuned from. A row the plan does not hold under the same name is
    // left out with a line in *notes, so a file changed during the scan
    // cannot give a channel the wrong frequency.
    static ChannelList Locked(const std::vector<ScanRow>& rows, const ChannelList& plan,
                              std::vector<std::string>* notes);
};
