#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "driver/TunerMatcher.h"

namespace {

// A 256-unit device name buffer as the enumeration fills it.
struct NameBuffer {
    WideChar units[DeviceNameCapacity] = {};
    explicit NameBuffer(const std::u16string& text) {
        for (size_t i = 0; i < text.size() && i < DeviceNameCapacity; ++i) units[i] = text[i];
    }
};

const std::u16string UsbPrefix = u"\\\\?\\usb#vid_0511&pid_0045#";
const std::u16string GuidSuffix = u"#{6994ad05-93ef-11d0-a3cc-00a0c9223196}";

std::u16string UsbPath(const std::u16string& instance) {
    return UsbPrefix + instance + GuidSuffix;
}

int64_t NumberOf(const std::u16string& path) {
    NameBuffer buffer(path);
    int64_t number = -12345;
    EXPECT_TRUE(DevicePathNumber(buffer.units, DeviceNameCapacity, &number)) << "no field";
    return number;
}

bool HasNumber(const std::u16string& path) {
    NameBuffer buffer(path);
    int64_t number = 0;
    return DevicePathNumber(buffer.units, DeviceNameCapacity, &number);
}

int64_t Parse(const std::u16string& text) { return ParseHex64(text.c_str()); }

}  // namespace

TEST(TunerMatcherField, UsbInstanceIdIsTheField) {
    EXPECT_EQ(NumberOf(UsbPath(u"5&1a2b&0&2")), 5);
    EXPECT_EQ(NumberOf(UsbPath(u"7&2f3e4d5c&0&1")), 7);
    EXPECT_EQ(NumberOf(UsbPath(u"0001")), 1);
}

TEST(TunerMatcherField, FieldIsCutToSixteenUnits) {
    EXPECT_EQ(NumberOf(UsbPath(u"0123456789ABCDEF1")), 0x0123456789ABCDEF);
}

TEST(TunerMatcherField, SaturatesAtInt64Max) {
    EXPECT_EQ(NumberOf(UsbPath(u"FFFFFFFFFFFFFFF0")), INT64_MAX);
    // With a sign only 15 digits fit into the field, so the minimum needs
    // the parser itself.
    EXPECT_EQ(NumberOf(UsbPath(u"-FFFFFFFFFFFFFFFF")), -0x0FFFFFFFFFFFFFFF);
    EXPECT_EQ(Parse(u"-FFFFFFFFFFFFFFFF"), INT64_MIN);
}

TEST(TunerMatcherField, NonHexOrEmptyFieldIsZero) {
    EXPECT_EQ(NumberOf(UsbPath(u"xyz")), 0);
    EXPECT_EQ(NumberOf(u"\\\\?\\usb#vid_0511&pid_0045##rest"), 0);
}

TEST(TunerMatcherField, NeedsTwoHashesAfterTheSetCharacter) {
    EXPECT_FALSE(HasNumber(u"\\\\?\\usb#vid_0511&pid_0045#1234"));
    EXPECT_FALSE(HasNumber(u"\\\\?\\usb#vid_0511&pid_0045"));
    EXPECT_FALSE(HasNumber(u"#2#3#4"));  // no character of the set at all
    EXPECT_FALSE(HasNumber(u""));
    // The hashes before the set character do not count.
    EXPECT_FALSE(HasNumber(u"#a#b#v12#"));
    EXPECT_EQ(NumberOf(u"#a#b#v#12#"), 0x12);
}

TEST(TunerMatcherField, SetCharacterBeforeUsbShiftsTheScan) {
    // The "i" and "d" of "hid" belong to the set, so the field becomes the
    // vendor/product part, which does not start with a hex digit.
    EXPECT_EQ(NumberOf(u"\\\\?\\hid#vid_0511&pid_0045#7&3&0&1#{guid}"), 0);
    // "1" is in the set: scanning starts inside "1usb".
    EXPECT_EQ(NumberOf(u"1usb#c#d"), 0xC);
}

TEST(TunerMatcherField, NeverReadsPastCapacity) {
    // A full buffer with no terminator: the second "#" lies just outside.
    std::vector<WideChar> units(DeviceNameCapacity + 8, u'#');
    for (size_t i = 0; i < DeviceNameCapacity; ++i) units[i] = u'a';
    units[0] = u'v';
    units[DeviceNameCapacity - 2] = u'#';
    units[DeviceNameCapacity - 1] = u'5';
    int64_t number = 0;
    EXPECT_FALSE(DevicePathNumber(units.data(), DeviceNameCapacity, &number));
    units[DeviceNameCapacity - 1] = u'#';
    EXPECT_TRUE(DevicePathNumber(units.data(), DeviceNameCapacity, &number));
    EXPECT_EQ(number, 0);
    // A terminator ends the text even when the capacity is larger.
    const WideChar stopped[] = {u'v', u'#', u'1', 0, u'#', 0};
    EXPECT_FALSE(DevicePathNumber(stopped, 6, &number));
}

TEST(TunerMatcherParse, CLibraryForms) {
    EXPECT_EQ(Parse(u"  \t1f"), 0x1F);
    EXPECT_EQ(Parse(u"+a"), 0xA);
    EXPECT_EQ(Parse(u"-a"), -0xA);
    EXPECT_EQ(Parse(u"0x1A"), 0x1A);
    EXPECT_EQ(Parse(u"0XfF"), 0xFF);
    EXPECT_EQ(Parse(u"0x"), 0);
    EXPECT_EQ(Parse(u"0xg1"), 0);
    EXPECT_EQ(Parse(u"12&34"), 0x12);
    EXPECT_EQ(Parse(u"- 1"), 0);
    EXPECT_EQ(Parse(u""), 0);
    EXPECT_EQ(Parse(u"7FFFFFFFFFFFFFFF"), INT64_MAX);
    EXPECT_EQ(Parse(u"8000000000000000"), INT64_MAX);
    EXPECT_EQ(Parse(u"-8000000000000000"), INT64_MIN);
    EXPECT_EQ(Parse(u"-8000000000000001"), INT64_MIN);
    EXPECT_EQ(Parse(u"00000000000000000000001"), 1);
}

TEST(TunerMatcherParse, AgreesWithStrtollOnRandomAsciiText) {
    const char alphabet[] = " \t+-0xX19aAfFgG&#";
    std::mt19937 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        const size_t length = random() % 20;
        std::string narrow;
        std::u16string wide;
        for (size_t i = 0; i < length; ++i) {
            const char c = alphabet[random() % (sizeof alphabet - 1)];
            narrow += c;
            wide += static_cast<char16_t>(c);
        }
        EXPECT_EQ(Parse(wide), std::strtoll(narrow.c_str(), nullptr, 16)) << narrow;
    }
}

TEST(TunerMatcherMatch, NameMustBeExactAndNonEmpty) {
    const NameBuffer path(UsbPath(u"6&1&0&1"));
    EXPECT_TRUE(TunerMatches(NameBuffer(u"Tessel Tuner").units, path.units, u"Tessel Tuner", 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(u"tessel tuner").units, path.units, u"Tessel Tuner", 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(u"Tessel Tuner 2").units, path.units, u"Tessel Tuner", 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(u"").units, path.units, u"", 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(u"T").units, NameBuffer(u"").units, u"T", 0));
}

TEST(TunerMatcherMatch, LowFourBitsAgainstDeviceId) {
    const NameBuffer name(u"T");
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(u"5&1a2b&0&2")).units, u"T", 5));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(u"0123456789ABCDEF1")).units, u"T",
                             15));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(u"FFFFFFFFFFFFFFF0")).units, u"T",
                             15));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(u"")).units, u"T", 0));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(u"-1")).units, u"T", 15));
    // 16 and above can never equal four bits.
    EXPECT_FALSE(TunerMatches(name.units, NameBuffer(UsbPath(u"10")).units, u"T", 16));
    EXPECT_FALSE(TunerMatches(name.units, NameBuffer(u"\\\\?\\usb#vid_0511&pid_0045#0").units,
                              u"T", 0));
}

TEST(TunerMatcherSelect, SameNamePickedByInstanceDigitInEitherOrder) {
    const NameBuffer name(u"PX-Q3U4 BDA");
    const NameBuffer endsIn0(UsbPath(u"7&2c&0&10"));
    const NameBuffer endsIn1(UsbPath(u"7&2c&0&11"));
    const TunerCandidate forward[] = {{name.units, endsIn0.units}, {name.units, endsIn1.units}};
    const TunerCandidate backward[] = {{name.units, endsIn1.units}, {name.units, endsIn0.units}};
    // "7&..." parses as 7 regardless: the instance digit only decides when
    // the instance id is itself hex, as with these counters.
    const NameBuffer hex0(UsbPath(u"A0")), hex1(UsbPath(u"A1"));
    const TunerCandidate hexForward[] = {{name.units, hex0.units}, {name.units, hex1.units}};
    const TunerCandidate hexBackward[] = {{name.units, hex1.units}, {name.units, hex0.units}};
    EXPECT_EQ(SelectTuner(hexForward, 2, u"PX-Q3U4 BDA", 1), 1);
    EXPECT_EQ(SelectTuner(hexForward, 2, u"PX-Q3U4 BDA", 0), 0);
    EXPECT_EQ(SelectTuner(hexBackward, 2, u"PX-Q3U4 BDA", 1), 0);
    EXPECT_EQ(SelectTuner(hexBackward, 2, u"PX-Q3U4 BDA", 0), 1);
    EXPECT_EQ(SelectTuner(forward, 2, u"PX-Q3U4 BDA", 7), 0);
    EXPECT_EQ(SelectTuner(backward, 2, u"PX-Q3U4 BDA", 7), 0);
    EXPECT_EQ(SelectTuner(forward, 2, u"PX-Q3U4 BDA", 1), -1);
}

TEST(TunerMatcherSelect, FirstPassingCandidateWins) {
    const NameBuffer other(u"Other"), name(u"T");
    const NameBuffer one(UsbPath(u"1")), noField(u"\\\\?\\usb#vid_0511&pid_0045#1");
    const TunerCandidate list[] = {
        {other.units, one.units}, {name.units, noField.units}, {name.units, one.units},
        {name.units, one.units}};
    EXPECT_EQ(SelectTuner(list, 4, u"T", 1), 2);
    EXPECT_EQ(SelectTuner(list, 2, u"T", 1), -1);
    EXPECT_EQ(SelectTuner(list, 0, u"T", 1), -1);
    EXPECT_EQ(SelectTuner(nullptr, 3, u"T", 1), -1);
}
