#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "devices/DeviceNames.h"
#include "devices/DevicePath.h"
#include "devices/TunerMatcher.h"

namespace {

using WideString = std::basic_string<WideChar>;

// A 256-unit device name buffer as the enumeration fills it.
struct NameBuffer {
    WideChar units[DeviceNameCapacity] = {};
    explicit NameBuffer(const WideString& text) {
        for (size_t i = 0; i < text.size() && i < DeviceNameCapacity; ++i) units[i] = text[i];
    }
};

const WideString UsbPrefix = WIDE("\\\\?\\usb#vid_0511&pid_0045#");
const WideString GuidSuffix = WIDE("#{6994ad05-93ef-11d0-a3cc-00a0c9223196}");

WideString UsbPath(const WideString& instance) {
    return UsbPrefix + instance + GuidSuffix;
}

int64_t NumberOf(const WideString& path) {
    NameBuffer buffer(path);
    int64_t number = -12345;
    EXPECT_TRUE(DevicePathNumber(buffer.units, DeviceNameCapacity, &number)) << "no field";
    return number;
}

bool HasNumber(const WideString& path) {
    NameBuffer buffer(path);
    int64_t number = 0;
    return DevicePathNumber(buffer.units, DeviceNameCapacity, &number);
}

int64_t Parse(const WideString& text) { return ParseHex64(text.c_str()); }

}  // namespace

TEST(TunerMatcherField, UsbInstanceIdIsTheField) {
    EXPECT_EQ(NumberOf(UsbPath(WIDE("5&1a2b&0&2"))), 5);
    EXPECT_EQ(NumberOf(UsbPath(WIDE("7&2f3e4d5c&0&1"))), 7);
    EXPECT_EQ(NumberOf(UsbPath(WIDE("0001"))), 1);
}

TEST(TunerMatcherField, FieldIsCutToSixteenUnits) {
    EXPECT_EQ(NumberOf(UsbPath(WIDE("0123456789ABCDEF1"))), 0x0123456789ABCDEF);
}

TEST(TunerMatcherField, SaturatesAtInt64Max) {
    EXPECT_EQ(NumberOf(UsbPath(WIDE("FFFFFFFFFFFFFFF0"))), INT64_MAX);
    // With a sign only 15 digits fit into the field, so the minimum needs
    // the parser itself.
    EXPECT_EQ(NumberOf(UsbPath(WIDE("-FFFFFFFFFFFFFFFF"))), -0x0FFFFFFFFFFFFFFF);
    EXPECT_EQ(Parse(WIDE("-FFFFFFFFFFFFFFFF")), INT64_MIN);
}

TEST(TunerMatcherField, NonHexOrEmptyFieldIsZero) {
    EXPECT_EQ(NumberOf(UsbPath(WIDE("xyz"))), 0);
    EXPECT_EQ(NumberOf(WIDE("\\\\?\\usb#vid_0511&pid_0045##rest")), 0);
}

TEST(TunerMatcherField, NeedsTwoHashesAfterTheSetCharacter) {
    EXPECT_FALSE(HasNumber(WIDE("\\\\?\\usb#vid_0511&pid_0045#1234")));
    EXPECT_FALSE(HasNumber(WIDE("\\\\?\\usb#vid_0511&pid_0045")));
    EXPECT_FALSE(HasNumber(WIDE("#2#3#4")));  // no character of the set at all
    EXPECT_FALSE(HasNumber(WIDE("")));
    // The hashes before the set character do not count.
    EXPECT_FALSE(HasNumber(WIDE("#a#b#v12#")));
    EXPECT_EQ(NumberOf(WIDE("#a#b#v#12#")), 0x12);
}

TEST(TunerMatcherField, SetCharacterBeforeUsbShiftsTheScan) {
    // The "i" and "d" of "hid" belong to the set, so the field becomes the
    // vendor/product part, which does not start with a hex digit.
    EXPECT_EQ(NumberOf(WIDE("\\\\?\\hid#vid_0511&pid_0045#7&3&0&1#{guid}")), 0);
    // "1" is in the set: scanning starts inside "1usb".
    EXPECT_EQ(NumberOf(WIDE("1usb#c#d")), 0xC);
}

TEST(TunerMatcherField, NeverReadsPastCapacity) {
    // A full buffer with no terminator: the second "#" lies just outside.
    std::vector<WideChar> units(DeviceNameCapacity + 8, WIDE('#'));
    for (size_t i = 0; i < DeviceNameCapacity; ++i) units[i] = WIDE('a');
    units[0] = WIDE('v');
    units[DeviceNameCapacity - 2] = WIDE('#');
    units[DeviceNameCapacity - 1] = WIDE('5');
    int64_t number = 0;
    EXPECT_FALSE(DevicePathNumber(units.data(), DeviceNameCapacity, &number));
    units[DeviceNameCapacity - 1] = WIDE('#');
    EXPECT_TRUE(DevicePathNumber(units.data(), DeviceNameCapacity, &number));
    EXPECT_EQ(number, 0);
    // A terminator ends the text even when the capacity is larger.
    const WideChar stopped[] = {WIDE('v'), WIDE('#'), WIDE('1'), 0, WIDE('#'), 0};
    EXPECT_FALSE(DevicePathNumber(stopped, 6, &number));
}

TEST(TunerMatcherParse, CLibraryForms) {
    EXPECT_EQ(Parse(WIDE("  \t1f")), 0x1F);
    EXPECT_EQ(Parse(WIDE("+a")), 0xA);
    EXPECT_EQ(Parse(WIDE("-a")), -0xA);
    EXPECT_EQ(Parse(WIDE("0x1A")), 0x1A);
    EXPECT_EQ(Parse(WIDE("0XfF")), 0xFF);
    EXPECT_EQ(Parse(WIDE("0x")), 0);
    EXPECT_EQ(Parse(WIDE("0xg1")), 0);
    EXPECT_EQ(Parse(WIDE("12&34")), 0x12);
    EXPECT_EQ(Parse(WIDE("- 1")), 0);
    EXPECT_EQ(Parse(WIDE("")), 0);
    EXPECT_EQ(Parse(WIDE("7FFFFFFFFFFFFFFF")), INT64_MAX);
    EXPECT_EQ(Parse(WIDE("8000000000000000")), INT64_MAX);
    EXPECT_EQ(Parse(WIDE("-8000000000000000")), INT64_MIN);
    EXPECT_EQ(Parse(WIDE("-8000000000000001")), INT64_MIN);
    EXPECT_EQ(Parse(WIDE("00000000000000000000001")), 1);
}

TEST(TunerMatcherParse, AgreesWithStrtollOnRandomAsciiText) {
    const char alphabet[] = " \t+-0xX19aAfFgG&#";
    std::mt19937 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        const size_t length = random() % 20;
        std::string narrow;
        WideString wide;
        for (size_t i = 0; i < length; ++i) {
            const char c = alphabet[random() % (sizeof alphabet - 1)];
            narrow += c;
            wide += static_cast<WideChar>(c);
        }
        EXPECT_EQ(Parse(wide), std::strtoll(narrow.c_str(), nullptr, 16)) << narrow;
    }
}

TEST(TunerMatcherMatch, NameMustBeExactAndNonEmpty) {
    const NameBuffer path(UsbPath(WIDE("6&1&0&1")));
    EXPECT_TRUE(TunerMatches(NameBuffer(WIDE("Tessel Tuner")).units, path.units, WIDE("Tessel Tuner"), 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(WIDE("tessel tuner")).units, path.units, WIDE("Tessel Tuner"), 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(WIDE("Tessel Tuner 2")).units, path.units, WIDE("Tessel Tuner"), 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(WIDE("")).units, path.units, WIDE(""), 6));
    EXPECT_FALSE(TunerMatches(NameBuffer(WIDE("T")).units, NameBuffer(WIDE("")).units, WIDE("T"), 0));
}

TEST(TunerMatcherMatch, LowFourBitsAgainstDeviceId) {
    const NameBuffer name(WIDE("T"));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(WIDE("5&1a2b&0&2"))).units, WIDE("T"), 5));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(WIDE("0123456789ABCDEF1"))).units, WIDE("T"),
                             15));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(WIDE("FFFFFFFFFFFFFFF0"))).units, WIDE("T"),
                             15));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(WIDE(""))).units, WIDE("T"), 0));
    EXPECT_TRUE(TunerMatches(name.units, NameBuffer(UsbPath(WIDE("-1"))).units, WIDE("T"), 15));
    // 16 and above can never equal four bits.
    EXPECT_FALSE(TunerMatches(name.units, NameBuffer(UsbPath(WIDE("10"))).units, WIDE("T"), 16));
    EXPECT_FALSE(TunerMatches(name.units, NameBuffer(WIDE("\\\\?\\usb#vid_0511&pid_0045#0")).units,
                              WIDE("T"), 0));
}

TEST(TunerMatcherSelect, SameNamePickedByInstanceDigitInEitherOrder) {
    const NameBuffer name(WIDE("PX-Q3U4 BDA"));
    const NameBuffer endsIn0(UsbPath(WIDE("7&2c&0&10")));
    const NameBuffer endsIn1(UsbPath(WIDE("7&2c&0&11")));
    const TunerCandidate forward[] = {{name.units, endsIn0.units}, {name.units, endsIn1.units}};
    const TunerCandidate backward[] = {{name.units, endsIn1.units}, {name.units, endsIn0.units}};
    // "7&..." parses as 7 regardless: the instance digit only decides when
    // the instance id is itself hex, as with these counters.
    const NameBuffer hex0(UsbPath(WIDE("A0"))), hex1(UsbPath(WIDE("A1")));
    const TunerCandidate hexForward[] = {{name.units, hex0.units}, {name.units, hex1.units}};
    const TunerCandidate hexBackward[] = {{name.units, hex1.units}, {name.units, hex0.units}};
    EXPECT_EQ(SelectTuner(hexForward, 2, WIDE("PX-Q3U4 BDA"), 1), 1);
    EXPECT_EQ(SelectTuner(hexForward, 2, WIDE("PX-Q3U4 BDA"), 0), 0);
    EXPECT_EQ(SelectTuner(hexBackward, 2, WIDE("PX-Q3U4 BDA"), 1), 0);
    EXPECT_EQ(SelectTuner(hexBackward, 2, WIDE("PX-Q3U4 BDA"), 0), 1);
    EXPECT_EQ(SelectTuner(forward, 2, WIDE("PX-Q3U4 BDA"), 7), 0);
    EXPECT_EQ(SelectTuner(backward, 2, WIDE("PX-Q3U4 BDA"), 7), 0);
    EXPECT_EQ(SelectTuner(forward, 2, WIDE("PX-Q3U4 BDA"), 1), -1);
}

TEST(TunerMatcherSelect, FirstPassingCandidateWins) {
    const NameBuffer other(WIDE("Other")), name(WIDE("T"));
    const NameBuffer one(UsbPath(WIDE("1"))), noField(WIDE("\\\\?\\usb#vid_0511&pid_0045#1"));
    const TunerCandidate list[] = {
        {other.units, one.units}, {name.units, noField.units}, {name.units, one.units},
        {name.units, one.units}};
    EXPECT_EQ(SelectTuner(list, 4, WIDE("T"), 1), 2);
    EXPECT_EQ(SelectTuner(list, 2, WIDE("T"), 1), -1);
    EXPECT_EQ(SelectTuner(list, 0, WIDE("T"), 1), -1);
    EXPECT_EQ(SelectTuner(nullptr, 3, WIDE("T"), 1), -1);
}
