// DevicePath field parse and DeviceID match against a reference written with
// string operations and the C library's strtoll. Every path sits at the end
// of an exactly-sized heap block so that ASan reports any read past it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "devices/DeviceNames.h"
#include "devices/DevicePath.h"
#include "devices/TunerMatcher.h"

namespace {

using Units = std::basic_string<WideChar>;

// The text strictly between the first two "#" after the first set character,
// or false when there is none.
bool ReferenceField(const Units& path, Units* field) {
    const Units set = WIDE("vid_0511&pid_");
    const size_t start = path.find_first_of(set);
    if (start == Units::npos) return false;
    const size_t open = path.find(WIDE('#'), start);
    if (open == Units::npos) return false;
    const size_t close = path.find(WIDE('#'), open + 1);
    if (close == Units::npos) return false;
    *field = path.substr(open + 1, close - open - 1).substr(0, 16);
    return true;
}

int64_t ReferenceParse(const Units& field) {
    std::string narrow;
    for (WideChar unit : field) narrow += unit < 0x80 ? static_cast<char>(unit) : '!';
    return std::strtoll(narrow.c_str(), nullptr, 16);
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint32_t deviceId = data[0] & 0x1F;
    const bool nameMatches = (data[0] & 0x80) == 0;
    const bool rawUnits = (data[0] & 0x40) != 0;
    ++data;
    --size;
    // Raw mode reads two bytes per unit; otherwise each byte picks a unit
    // from the characters that matter, so that paths with fields are common.
    static const WideChar alphabet[32] = {
        'v', 'i', 'd', '_', '0', '5', '1', '&', 'p', '#', '#', '#', 'x', 'X', 'a', 'F',
        '9', 'f', 'A', '7', ' ', '\t', '+', '-', 'u', 's', 'b', '?', 'g', 0x3000, 0xFF10, 0};
    const size_t count = std::min<size_t>(rawUnits ? size / 2 : size, DeviceNameCapacity);

    // Exactly `count` units: unterminated unless the input holds a zero.
    std::unique_ptr<WideChar[]> exact(new WideChar[count == 0 ? 1 : count]);
    for (size_t i = 0; i < count; ++i) {
        exact[i] = rawUnits ? static_cast<WideChar>(data[2 * i] | data[2 * i + 1] << 8)
                            : alphabet[data[i] % 32];
    }
    Units path(exact.get(), count);
    path = path.substr(0, path.find(WideChar{0}));

    Units field;
    const bool expectField = ReferenceField(path, &field);
    int64_t number = 0x5A5A;
    const bool gotField = DevicePathNumber(exact.get(), count, &number);
    Check(gotField == expectField);
    if (expectField) Check(number == ReferenceParse(field));
    // The parser alone, over the whole text rather than a 16-unit field.
    Check(ParseHex64(path.c_str()) == ReferenceParse(path));

    // The match reads 256-unit buffers: give it one that ends where the path does.
    std::unique_ptr<WideChar[]> full(new WideChar[DeviceNameCapacity]);
    const size_t offset = DeviceNameCapacity - count;
    for (size_t i = 0; i < offset; ++i) full[i] = WIDE('#');
    std::memcpy(full.get() + offset, exact.get(), count * sizeof(WideChar));
    Units fullPath(full.get(), DeviceNameCapacity);
    fullPath = fullPath.substr(0, fullPath.find(WideChar{0}));
    const bool fullField = ReferenceField(fullPath, &field);
    const WideChar name[] = WIDE("Tessel");
    const WideChar* friendly = nameMatches ? name : WIDE("tessel");
    const bool expectMatch = nameMatches && !fullPath.empty() && fullField &&
                             static_cast<uint32_t>(ReferenceParse(field) & 0xF) == deviceId;
    std::unique_ptr<WideChar[]> friendlyBuffer(new WideChar[DeviceNameCapacity]());
    std::memcpy(friendlyBuffer.get(), friendly, sizeof name);
    Check(TunerMatches(friendlyBuffer.get(), full.get(), name, deviceId) == expectMatch);
    return 0;
}
