// The channel sources a Wine prefix (or a PC) keeps for the simulated tuner:
// HKEY_CURRENT_USER\Software\TesselSim\Channels holds one string value per
// channel, named after it ("13ch"; "*" for every channel not named), whose
// data is "silent" or the full path of a recording to replay. simreg writes
// them; TesselSim.dll reads them once, before it creates its first object,
// so they hold for every process that uses the simulator in that prefix.
// Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimChannelSources.h"

class SimSourceRegistry {
public:
    // The data that makes a channel silent.
    static const wchar_t* SilentValue();

    // `value` is SilentValue() or a recording's full path.
    static HRESULT Set(const std::wstring& channel, const std::wstring& value);
    // Back to live: removes the channel's value (S_FALSE when there was none).
    static HRESULT Remove(const std::wstring& channel);
    // Every channel back to live.
    static HRESULT Clear();
    // (channel, value) in the registry's order.
    static std::vector<std::pair<std::wstring, std::wstring>> List();

    // The sources the registry names, with the sky SimSkyRegistry keeps, or
    // null when it names none and the sky is the built-in one.
    static std::shared_ptr<const SimChannelSources> Load();
};
