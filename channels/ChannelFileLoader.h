// The channel file beside a library: the library X.dll reads X.channels.txt
// from its own folder. Windows half of channels/, shared by the driver and
// bonhost so both judge the same file the same way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "channels/ChannelFileParser.h"
#include "channels/ChannelList.h"

enum class ChannelFileState { Missing, Loaded, Refused };

// What became of the channel file.
struct ChannelFileReport {
    ChannelString Path;                                // the file looked for
    ChannelFileState State = ChannelFileState::Missing;
    ChannelFileError Error;                            // why, when Refused
};

class ChannelFileLoader {
public:
    // The channel file's path for the library `module`: the library's path
    // with its extension replaced by ".channels.txt".
    static ChannelString PathBeside(HMODULE module);

    // Chooses the plan of `network` for the library `module` and moves it
    // into *list: the channel file's when the file is valid, otherwise the
    // built-in plan (silently when there is no file). Never throws.
    static ChannelFileReport Load(HMODULE module, Network network, ChannelList* list);

private:
    static void Choose(Network network, ChannelList* list, ChannelFileReport* report);
    // False with report->State set when the file is missing or unreadable.
    static bool ReadFile(const ChannelString& path, std::vector<uint8_t>* bytes,
                         ChannelFileReport* report);
};
