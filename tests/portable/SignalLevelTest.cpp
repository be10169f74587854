#include <gtest/gtest.h>

#include <cstring>

#include "driver/SignalLevel.h"

namespace {

uint32_t Bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// The documented steps, written out independently: truncating rescale of raw
// readings, then a float rounding after each double operation.
float Reference(int32_t level, int32_t levelHundredths) {
    int32_t v = level;
    if (v < 0) v = v / 656 + 99;
    volatile float a = (float)v;
    volatile float b = (float)((double)a * 100.0);
    volatile float c = (float)((double)b + levelHundredths);
    volatile float r = (float)((double)c / 100.0);
    return r;
}

void ExpectExactly(int32_t level, int32_t levelHundredths, float literal) {
    const float got = SignalLevelFromStatistics(level, levelHundredths);
    EXPECT_EQ(Bits(got), Bits(literal)) << level << "," << levelHundredths << " gave " << got;
    EXPECT_EQ(Bits(got), Bits(Reference(level, levelHundredths))) << level << "," << levelHundredths;
}

}  // namespace

TEST(SignalLevel, PositiveLevelsKeepTheirHundredths) {
    ExpectExactly(25, 37, 25.37f);
    ExpectExactly(0, 0, 0.0f);
    ExpectExactly(12, 5, 12.05f);
    ExpectExactly(0, 99, 0.99f);
}

TEST(SignalLevel, RawReadingsTruncateTowardZero) {
    ExpectExactly(-1, 0, 99.0f);
    ExpectExactly(-655, 0, 99.0f);
    ExpectExactly(-656, 50, 98.5f);
    ExpectExactly(-657, 0, 98.0f);
    ExpectExactly(-6560, 0, 89.0f);
    ExpectExactly(-64944, 0, 0.0f);
    ExpectExactly(-65600, 0, -1.0f);
}

TEST(SignalLevel, ZeroIsPositiveZero) {
    // A sign bit would show as "-0.00" in some hosts.
    EXPECT_EQ(Bits(SignalLevelFromStatistics(0, 0)), 0u);
    EXPECT_EQ(Bits(SignalLevelFromStatistics(-64944, 0)), 0u);
}

TEST(SignalLevel, MatchesTheStepwiseRoundingOverAGrid) {
    const int32_t levels[] = {0, 1, 7, 33, 99, 100, 1000, 16777217, 2147483647,
                              -1, -655, -656, -1311, -1312, -65535, -2147483647 - 1};
    const int32_t hundredths[] = {0, 1, 13, 37, 50, 99, -1, -50, 100, 12345};
    for (int32_t level : levels)
        for (int32_t h : hundredths)
            EXPECT_EQ(Bits(SignalLevelFromStatistics(level, h)), Bits(Reference(level, h))) << level << "," << h;
}

TEST(SignalLevel, LargeLevelsLoseLowDigitsToFloat) {
    // 2^24 + 1 is not a float; the level rounds before scaling.
    EXPECT_EQ(SignalLevelFromStatistics(16777217, 0), 16777216.0f);
}
