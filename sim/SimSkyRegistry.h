// The sky a Wine prefix's simulated satellites show (simreg sky): the value
// "Sky" under HKEY_CURRENT_USER\Software\TesselSim\Sky, "2025"; no value is
// the built-in sky. TesselSim.dll reads it once, with the channel sources
// (SimSourceRegistry::Load). Windows only.
#pragma once

#include <windows.h>

#include "sim/SimSky.h"

class SimSkyRegistry {
public:
    // The built-in sky removes the value.
    static HRESULT Set(SimSkyKind sky);
    // The sky set; the built-in one when none is, or the value names no sky.
    static SimSkyKind Get();
};
