// Every scan is bounded by the caller's capacity and by the terminator.
#include "devices/DevicePath.h"

#include "platform/WideText.h"

namespace {

constexpr size_t FieldCapacity = 16;  // units kept from the DevicePath field

bool IsInSet(WideChar c) {
    static const WideChar set[] = WIDE("vid_0511&pid_");
    for (const WideChar* s = set; *s != 0; ++s)
        if (*s == c) return true;
    return false;
}

// Position of the first unit in [from, length) satisfying `test`, or length.
template <typename Test>
size_t FindFrom(const WideChar* text, size_t from, size_t length, Test test) {
    while (from < length && !test(text[from])) ++from;
    return from;
}

// ASCII white space as the C locale's isspace sees it.
bool IsSpace(WideChar c) { return c == WIDE(' ') || (c >= WIDE('\t') && c <= WIDE('\r')); }

// Value of a base-16 digit, or -1.
int HexDigit(WideChar c) {
    if (c >= WIDE('0') && c <= WIDE('9')) return c - WIDE('0');
    if (c >= WIDE('a') && c <= WIDE('f')) return c - WIDE('a') + 10;
    if (c >= WIDE('A') && c <= WIDE('F')) return c - WIDE('A') + 10;
    return -1;
}

}  // namespace

int64_t ParseHex64(const WideChar* text) {
    if (text == nullptr) return 0;
    while (IsSpace(*text)) ++text;
    bool negative = false;
    if (*text == WIDE('+') || *text == WIDE('-')) negative = (*text++ == WIDE('-'));
    // "0x" counts as a prefix only when a digit follows; otherwise the "0" is
    // the number, which gives 0 just the same.
    if (text[0] == WIDE('0') && (text[1] == WIDE('x') || text[1] == WIDE('X')) && HexDigit(text[2]) >= 0)
        text += 2;
    const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
    uint64_t magnitude = 0;
    bool overflow = false;
    for (int digit; (digit = HexDigit(*text)) >= 0; ++text) {
        if (magnitude > (limit - static_cast<uint64_t>(digit)) / 16) overflow = true;
        if (!overflow) magnitude = magnitude * 16 + static_cast<uint64_t>(digit);
    }
    if (overflow) return negative ? INT64_MIN : INT64_MAX;
    if (negative) return magnitude == limit ? INT64_MIN : -static_cast<int64_t>(magnitude);
    return static_cast<int64_t>(magnitude);
}

bool DevicePathNumber(const WideChar* devicePath, size_t capacity, int64_t* number) {
    if (devicePath == nullptr || number == nullptr) return false;
    const size_t length = WideLength(devicePath, capacity);
    const size_t start = FindFrom(devicePath, 0, length, IsInSet);
    const auto isHash = [](WideChar c) { return c == WIDE('#'); };
    const size_t open = FindFrom(devicePath, start, length, isHash);
    if (open >= length) return false;
    const size_t close = FindFrom(devicePath, open + 1, length, isHash);
    if (close >= length) return false;
    WideChar field[FieldCapacity + 1] = {};
    for (size_t i = 0; i < FieldCapacity && open + 1 + i < close; ++i)
        field[i] = devicePath[open + 1 + i];
    *number = ParseHex64(field);
    return true;
}

