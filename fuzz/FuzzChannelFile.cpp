// The channel-file parser over any bytes, for each network (picked by the
// first byte): a refused file leaves the caller's list alone and names a
// line; an accepted one keeps to the limits and round-trips through the
// writer (parse, write, parse gives the same list).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "channels/ChannelFileParser.h"
#include "channels/ChannelFileWriter.h"
#include "platform/WideText.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckLimits(const ChannelList& list) {
    Check(list.TotalChannels() >= 1 && list.TotalChannels() <= ChannelList::MaxChannels);
    for (uint32_t space = 0; space < list.SpaceCount(); ++space) {
        Check(list.SpaceName(space) != nullptr);
        for (uint32_t channel = 0; channel < list.ChannelCount(space); ++channel) {
            const size_t length = WideLength(list.Channel(space, channel)->Name, 100);
            Check(length >= 1 && length <= ChannelList::MaxNameLength);
            TuneRequest request;
            Check(list.FillTuneRequest(space, channel, &request));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Network networks[3] = {Network::IsdbT, Network::IsdbS, Network::None};
    const Network network = networks[data[0] % 3];
    ChannelList list = ChannelList::BuiltIn(network);
    ChannelFileError error;
    if (!ChannelFileParser::Parse(data + 1, size - 1, network, &list, &error)) {
        Check(!error.Message.empty());
        Check(list == ChannelList::BuiltIn(network));
        return 0;
    }
    CheckLimits(list);
    const std::string written = ChannelFileWriter::Write(list);
    ChannelList again;
    Check(ChannelFileParser::Parse(reinterpret_cast<const uint8_t*>(written.data()), written.size(),
                                   network, &again, &error));
    Check(again == list);
    return 0;
}
