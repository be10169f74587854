// The tuning spaces and channels a driver lists through IBonDriver2, as
// bonhost's scan and self-test walk them: counts, names in UTF-8, and a
// space given by index or name.
#pragma once

#include <windows.h>

#include <string>

#include "platform/IBonDriver.h"

class DriverPlan {
public:
    static DWORD SpaceCount(IBonDriver2* driver);
    static DWORD ChannelCount(IBonDriver2* driver, DWORD space);
    static std::string SpaceName(IBonDriver2* driver, DWORD space);
    static std::string ChannelName(IBonDriver2* driver, DWORD space, DWORD channel);
    // A space by index ("0") or name ("UFH", any letter case); false when
    // the driver lists no such space.
    static bool FindSpace(IBonDriver2* driver, const std::string& text, DWORD* space);
    // A channel of `space` by index or name; false when there is none.
    static bool FindChannel(IBonDriver2* driver, DWORD space, const std::string& text,
                            DWORD* channel);
};
