// Turns the device's signal report into the level shown to the host.
#pragma once

#include <cstdint>

// Level from SignalStatistics.Level and .LevelHundredths. A negative level is
// a raw reading, rescaled as (level / 656) + 99 (division truncated toward
// zero). The value then goes through float at every step, exactly as hosts
// have always been shown it, including on the 32-bit x87 build.
float SignalLevelFromStatistics(int32_t level, int32_t levelHundredths);
