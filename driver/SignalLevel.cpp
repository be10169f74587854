// Every intermediate is stored through a volatile float or double so that the
// x87 build cannot keep excess precision between steps: each step rounds to
// its declared type, the same as on SSE builds, and hosts see identical values.
#include "driver/SignalLevel.h"

namespace {

constexpr int32_t RawLevelDivisor = 656;
constexpr int32_t RawLevelOffset = 99;

int32_t ScaledLevel(int32_t level) {
    if (level >= 0) return level;
    return level / RawLevelDivisor + RawLevelOffset;  // C++ division truncates toward zero
}

}  // namespace

float SignalLevelFromStatistics(int32_t level, int32_t levelHundredths) {
    volatile float whole = static_cast<float>(ScaledLevel(level));
    volatile double wide = static_cast<double>(whole) * 100.0;
    volatile float hundredths = static_cast<float>(wide);
    wide = static_cast<double>(hundredths) + levelHundredths;
    volatile float sum = static_cast<float>(wide);
    wide = static_cast<double>(sum) / 100.0;
    volatile float result = static_cast<float>(wide);
    return result;
}
