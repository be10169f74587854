#include "channels/ChannelFileWriter.h"

#include <cstdio>

#include "platform/WideText.h"

namespace {

const char* const LineEnd = "\r\n";
// Longer than any name a list holds, so WideLength always finds the end.
constexpr size_t NameSpan = ChannelList::MaxNameLength + 1;

}  // namespace

std::string ChannelFileWriter::Write(const ChannelList& list) {
    std::string out = "# tuning space, channel name, frequency in kHz";
    const bool satellite = list.GetNetwork() == Network::IsdbS;
    out += satellite ? ", TSID" : "";
    out += LineEnd;
    for (uint32_t space = 0; space < list.SpaceCount(); ++space) {
        for (uint32_t channel = 0; channel < list.ChannelCount(space); ++channel)
            WriteRow(list.SpaceName(space), *list.Channel(space, channel), satellite, &out);
    }
    return out;
}

void ChannelFileWriter::WriteRow(const WideChar* space, const ChannelRow& row, bool satellite,
                                 std::string* out) {
    AppendUtf8(out, space, WideLength(space, NameSpan));
    *out += ", ";
    AppendUtf8(out, row.Name, WideLength(row.Name, NameSpan));
    char numbers[32];
    if (satellite)
        std::snprintf(numbers, sizeof numbers, ", %lu, 0x%04X",
                      static_cast<unsigned long>(row.Frequency), static_cast<unsigned>(row.Tsid));
    else
        std::snprintf(numbers, sizeof numbers, ", %lu", static_cast<unsigned long>(row.Frequency));
    *out += numbers;
    *out += LineEnd;
}
