// Channel names as tuner servers (Mirakurun and the recorders that speak to
// it) write them, and the rows of the driver's channel list they stand for:
//
//   "13" .. "62"   UFH   "13ch" .. "62ch"
//   "C13" .. "C63" CATV  "C13ch" .. "C63ch"
//   "BS01_0"       BS    "BS1/TS0"   (transponder with two digits, then the TS)
//   "CS2"          CS110 "ND2"
//
// The first three kinds are tuner-server type GR, BS and CS. Plain text work,
// so the mapping is the same for `bonhost record` and `bonhost scan`.
#pragma once

#include <string>

struct TunerServerChannel {
    std::string Type;     // "GR", "BS" or "CS"
    std::string Name;     // the tuner server's name: "27", "C13", "BS01_0", "CS2"
    std::string Space;    // the driver's tuning space: "UFH", "CATV", "BS", "CS110"
    std::string Channel;  // the driver's row name: "27ch", "C13ch", "BS1/TS0", "ND2"
};

class TunerServerName {
public:
    // The row a tuner-server name stands for (letters in any case); false,
    // *channel untouched, when `name` is in none of the four forms.
    static bool ToRow(const std::string& name, TunerServerChannel* channel);

    // The tuner-server name of the row `channel` of `space`; false when the
    // row has none (a channel file's own names, C01ch-C12ch). Gives exactly
    // the name ToRow maps back to that row.
    static bool FromRow(const std::string& space, const std::string& channel,
                        TunerServerChannel* named);

    // True when `text` still holds a tuner command's placeholder such as
    // "<freq>": the server had no value for it, so the command cannot know
    // what was meant.
    static bool HoldsPlaceholder(const std::string& text);
};
