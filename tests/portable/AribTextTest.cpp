// Broadcast names: every way the 8-unit code reaches a character decodes to
// the right one, anything that cannot be known fails the whole string (so it
// is shown in hex), and the encoder's output always decodes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ts/AribText.h"
#include "ts/JisX0208.h"
#include "ts/Utf8.h"

namespace {

struct Case {
    const char* What;
    std::vector<uint8_t> Bytes;
    const char* Text;  // null: must not decode
};

std::string Decoded(const std::vector<uint8_t>& bytes, bool* ok) {
    std::string text = "left over";
    *ok = AribText::Decode(bytes.data(), bytes.size(), &text);
    return text;
}

}  // namespace

TEST(AribTextTest, DecodesEveryShiftAndSetAndRefusesWhatItCannotKnow) {
    const Case cases[] = {
        {"G0 Kanji in GL from the start", {0x34, 0x41, 0x43, 0x4F}, "漢地"},
        {"G2 hiragana in GR from the start", {0xA2, 0xC6, 0xF9}, "あてー"},
        {"LS1 and LS0 between alphanumerics and kanji", {0x0E, 0x41, 0x20, 0x62, 0x0F, 0x3B, 0x6E}, "A b試"},
        {"SS2 and SS3 lend one character", {0x19, 0x22, 0x1D, 0x22, 0x34, 0x41}, "あア漢"},
        {"LS2 and LS3 lock kana into GL", {0x1B, 0x6E, 0x22, 0x1B, 0x6F, 0x22, 0x78}, "あアヾ"},
        {"LS1R and LS3R lock into GR", {0x1B, 0x7E, 0xC1, 0x1B, 0x7C, 0xA2}, "Aア"},
        {"alphanumeric set has yen and overline", {0x0E, 0x5C, 0x7E, 0x21}, "¥‾!"},
        {"one-byte designations", {0x1B, 0x28, 0x4A, 0x41, 0x1B, 0x29, 0x49, 0x0E, 0x31, 0x5F}, "Aｱﾟ"},
        {"proportional sets read as their plain sets",
         {0x1B, 0x2B, 0x36, 0x1B, 0x6F, 0x78, 0x1B, 0x2A, 0x38, 0x19, 0x22}, "xア"},
        {"two-byte designations, short and long forms",
         {0x1B, 0x28, 0x4A, 0x1B, 0x24, 0x42, 0x34, 0x41, 0x1B, 0x24, 0x29, 0x39, 0x0E, 0x43, 0x4F}, "漢地"},
        {"colour, size, CSI, APS, TIME and positioning are skipped",
         {0x89, 0x0E, 0x41, 0x8A, 0x90, 0x48, 0x90, 0x20, 0x40, 0x80, 0x9B, 0x37, 0x3B, 0x31, 0x20,
          0x53, 0x1C, 0x41, 0x41, 0x9D, 0x20, 0x41, 0x8B, 0x60, 0x0D, 0x00, 0x42},
         "AB"},
        {"an unused designation does no harm", {0x1B, 0x28, 0x32, 0x0E, 0x41}, "A"},
        {"empty", {}, ""},
        {"mosaic set in use", {0x1B, 0x28, 0x32, 0x21}, nullptr},
        {"downloaded set in use", {0x1B, 0x28, 0x20, 0x41, 0x21}, nullptr},
        {"additional symbols set in use", {0x1B, 0x24, 0x3B, 0x7A, 0x50}, nullptr},
        {"Kanji cell JIS X 0208 leaves empty", {0x7A, 0x50}, nullptr},
        {"Kanji bytes from both halves", {0x34, 0xC1}, nullptr},
        {"kana set gap", {0xF4}, nullptr},
        {"JIS X 0201 katakana beyond its range", {0x1B, 0x28, 0x49, 0x60}, nullptr},
        {"cut after a Kanji first byte", {0x41, 0x42, 0x34}, nullptr},
        {"cut inside an escape", {0x1B, 0x24, 0x29}, nullptr},
        {"cut before a parameter", {0x0E, 0x41, 0x90}, nullptr},
        {"single shift at the end", {0x0E, 0x41, 0x19}, nullptr},
        {"single shift before a control", {0x19, 0x0E, 0x41}, nullptr},
        {"undefined C0 code", {0x0E, 0x41, 0x01}, nullptr},
        {"macro", {0x95, 0x40, 0x41, 0x95, 0x4F}, nullptr},
        {"DEL and 0xFF", {0x0E, 0x7F}, nullptr},
        {"unknown escape", {0x1B, 0x40}, nullptr},
    };
    for (const Case& c : cases) {
        bool ok = false;
        const std::string text = Decoded(c.Bytes, &ok);
        if (c.Text) {
            EXPECT_TRUE(ok) << c.What;
            EXPECT_EQ(c.Text, text) << c.What;
        } else {
            EXPECT_FALSE(ok) << c.What;
            EXPECT_EQ("", text) << c.What;
        }
    }
}

TEST(AribTextTest, ReadShowsHexWhenTheBytesDoNotDecode) {
    const uint8_t good[] = {0x0E, 0x4E, 0x48, 0x4B, 0x0F, 0x41, 0x6D};
    const AribName name = AribText::Read(good, sizeof(good));
    EXPECT_TRUE(name.Decoded);
    EXPECT_EQ("NHK総", name.Text);
    EXPECT_EQ(std::vector<uint8_t>(good, good + sizeof(good)), name.Bytes);

    const uint8_t bad[] = {0x0E, 0x41, 0x01, 0xFF};
    const AribName hex = AribText::Read(bad, sizeof(bad));
    EXPECT_FALSE(hex.Decoded);
    EXPECT_EQ("0E 41 01 FF", hex.Text);
    EXPECT_EQ(4u, hex.Bytes.size());
}

TEST(AribTextTest, EncoderSwitchesSetsOnlyWhenItMustAndRefusesTheRest) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(AribText::Encode("A漢 b¥地上", &bytes));
    const std::vector<uint8_t> expected = {0x0E, 0x41, 0x0F, 0x34, 0x41, 0x20, 0x0E,
                                           0x62, 0x5C, 0x0F, 0x43, 0x4F, 0x3E, 0x65};
    EXPECT_EQ(expected, bytes);

    const char* refused[] = {
        "back\\slash", "tilde~", "tab\t", "new\nline", "emoji \xF0\x9F\x98\x80", "halfwidth ｱ",
        "bad \xC3\x28", "overlong \xC0\xAF", "surrogate \xED\xA0\x80", "cut \xE3\x81",
    };
    for (const char* text : refused) {
        bytes.assign(3, 0xAA);
        EXPECT_FALSE(AribText::Encode(text, &bytes)) << text;
        EXPECT_TRUE(bytes.empty()) << text;
    }
}

TEST(AribTextTest, EveryJisX0208CharacterEncodesToItsCellAndBack) {
    std::string all;
    size_t assigned = 0;
    for (unsigned row = 1; row <= 94; ++row) {
        for (unsigned cell = 1; cell <= 94; ++cell) {
            const uint16_t point = JisX0208ToUnicode(row, cell);
            if (!point) continue;
            ++assigned;
            std::string one;
            ASSERT_TRUE(AppendUtf8(point, &one));
            std::vector<uint8_t> bytes;
            ASSERT_TRUE(AribText::Encode(one, &bytes)) << row << "-" << cell;
            const std::vector<uint8_t> cellBytes = {static_cast<uint8_t>(row + 0x20),
                                                    static_cast<uint8_t>(cell + 0x20)};
            ASSERT_EQ(cellBytes, bytes);
            all += one;
        }
    }
    EXPECT_EQ(6879u, assigned);  // the whole of JIS X 0208
    EXPECT_EQ(0, JisX0208ToUnicode(0, 1));
    EXPECT_EQ(0, JisX0208ToUnicode(1, 95));

    // All of it at once, mixed with every ASCII character the alphanumeric set has.
    for (char c = 0x20; c < 0x7F; ++c)
        if (c != '\\' && c != '~') all += std::string(1, c) + "あ";
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(AribText::Encode(all, &bytes));
    std::string back;
    ASSERT_TRUE(AribText::Decode(bytes.data(), bytes.size(), &back));
    EXPECT_TRUE(all == back);
    EXPECT_TRUE(IsValidUtf8(back));
}
