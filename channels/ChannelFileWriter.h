// Writes a channel list in the channel file's syntax (see ChannelFileParser),
// so a plan found by a scan or the built-in one can be saved, edited by hand
// and read back: whatever Parse accepts, written and parsed again, gives the
// same list.
#pragma once

#include <string>

#include "channels/ChannelList.h"

class ChannelFileWriter {
public:
    // The whole file: UTF-8 without a byte-order mark, CR LF line ends, a
    // comment naming the fields, then one line a channel in the list's order
    // (spaces in order, each space's channels in order). The caller owns it.
    static std::string Write(const ChannelList& list);

private:
    static void WriteRow(const WideChar* space, const ChannelRow& row, bool satellite,
                         std::string* out);
};
