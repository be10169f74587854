#include <gtest/gtest.h>

#include "platform/WideText.h"

TEST(WideText, CopyTruncatesAndTerminates) {
    WideChar buffer[6];
    for (auto& c : buffer) c = u'x';
    WideCopyTruncate(buffer, 6, WIDE("abcdefgh"));
    EXPECT_TRUE(WideEqualN(buffer, WIDE("abcde"), 6));
    EXPECT_EQ(buffer[5], 0);
}

TEST(WideText, CopyOfShorterTextLeavesNoResidue) {
    WideChar buffer[8];
    WideCopyTruncate(buffer, 8, WIDE("long one"));
    WideCopyTruncate(buffer, 8, WIDE("ab"));
    for (int i = 2; i < 8; ++i) EXPECT_EQ(buffer[i], 0) << i;
}

TEST(WideText, EqualIsCaseSensitiveAndBounded) {
    EXPECT_TRUE(WideEqualN(WIDE("Tuner"), WIDE("Tuner"), 256));
    EXPECT_FALSE(WideEqualN(WIDE("Tuner"), WIDE("tuner"), 256));
    EXPECT_FALSE(WideEqualN(WIDE("Tuner"), WIDE("Tuner2"), 256));
    EXPECT_TRUE(WideEqualN(WIDE("abcX"), WIDE("abcY"), 3));
}

TEST(WideText, LengthStopsAtCapacity) {
    const WideChar unterminated[3] = {u'a', u'b', u'c'};
    EXPECT_EQ(WideLength(unterminated, 3), 3u);
    EXPECT_EQ(WideLength(WIDE("ab"), 10), 2u);
}
