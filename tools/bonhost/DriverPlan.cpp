#include "tools/bonhost/DriverPlan.h"

#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/BonhostText.h"

DWORD DriverPlan::SpaceCount(IBonDriver2* driver) {
    DWORD count = 0;
    while (driver->EnumTuningSpace(count) != nullptr) ++count;
    return count;
}

DWORD DriverPlan::ChannelCount(IBonDriver2* driver, DWORD space) {
    DWORD count = 0;
    while (driver->EnumChannelName(space, count) != nullptr) ++count;
    return count;
}

std::string DriverPlan::SpaceName(IBonDriver2* driver, DWORD space) {
    return Utf8FromWide(driver->EnumTuningSpace(space));
}

std::string DriverPlan::ChannelName(IBonDriver2* driver, DWORD space, DWORD channel) {
    return Utf8FromWide(driver->EnumChannelName(space, channel));
}

bool DriverPlan::FindSpace(IBonDriver2* driver, const std::string& text, DWORD* space) {
    const DWORD count = SpaceCount(driver);
    const long long index = ParseIndex(text);
    for (DWORD i = 0; i < count; ++i) {
        if ((index >= 0 && static_cast<unsigned long long>(index) == i) ||
            (index < 0 && SameNameIgnoringCase(SpaceName(driver, i), text))) {
            *space = i;
            return true;
        }
    }
    return false;
}

bool DriverPlan::FindChannel(IBonDriver2* driver, DWORD space, const std::string& text,
                             DWORD* channel) {
    const DWORD count = ChannelCount(driver, space);
    const long long index = ParseIndex(text);
    for (DWORD i = 0; i < count; ++i) {
        if ((index >= 0 && static_cast<unsigned long long>(index) == i) ||
            (index < 0 && SameNameIgnoringCase(ChannelName(driver, space, i), text))) {
            *channel = i;
            return true;
        }
    }
    return false;
}
