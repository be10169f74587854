// Arbitrary bytes as a stream for the service scanner (cut into chunks whose
// sizes come from the input), as the body of a PAT/NIT/SDT section with a
// good CRC (so the table readers see more than CRC failures), and as
// broadcast text and UTF-8 for AribText: every name that comes out is valid
// UTF-8, and whatever the encoder accepts decodes back to itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ts/AribText.h"
#include "ts/TsCrc32.h"
#include "ts/TsServiceScanner.h"
#include "ts/Utf8.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckNames(const TsServiceScanner& scanner) {
    for (const TsScannedService& service : scanner.Services())
        Require(IsValidUtf8(service.Name.Text) && IsValidUtf8(service.Provider.Text));
    Require(IsValidUtf8(scanner.NetworkName().Text));
}

void ScanAsStream(const uint8_t* data, size_t size) {
    TsServiceScanner scanner;
    for (size_t at = 0; at < size;) {
        const size_t chunk = 1 + (data[at] % 200);
        const size_t take = chunk < size - at ? chunk : size - at;
        scanner.Feed(data + at, take);
        at += take;
    }
    CheckNames(scanner);
}

// data[0] picks the PID; the rest, with its section_length and CRC made
// right, is sent as one section from a unit start.
void ScanAsSection(const uint8_t* data, size_t size) {
    if (size < 4 || size > 1000) return;
    static const uint16_t pids[] = {0x0000, 0x0010, 0x0011};
    const uint16_t pid = pids[data[0] % 3];
    std::vector<uint8_t> section(data + 1, data + size);
    const size_t length = section.size() + 4 - 3;
    section[1] = static_cast<uint8_t>((section[1] & 0xF0) | (length >> 8));
    section[2] = static_cast<uint8_t>(length);
    const uint32_t crc = MpegCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));
    std::vector<uint8_t> stream;
    uint8_t cc = 0;
    for (size_t at = 0; at < section.size();) {
        const uint8_t header[] = {0x47, static_cast<uint8_t>((at == 0 ? 0x40 : 0) | (pid >> 8)),
                                  static_cast<uint8_t>(pid), static_cast<uint8_t>(0x10 | (cc++ & 0x0F)),
                                  0x00};
        const size_t headerSize = at == 0 ? 5 : 4;
        const size_t take = std::min(188 - headerSize, section.size() - at);
        stream.insert(stream.end(), header, header + headerSize);
        stream.insert(stream.end(), section.begin() + at, section.begin() + at + take);
        stream.resize(stream.size() + (188 - headerSize - take), 0xFF);
        at += take;
    }
    TsServiceScanner scanner;
    scanner.Feed(stream.data(), stream.size());
    Require(scanner.CrcErrors() == 0);
    CheckNames(scanner);
}

// Whatever the encoder takes must come back unchanged.
void RoundTrip(const std::string& text) {
    std::vector<uint8_t> bytes;
    if (!AribText::Encode(text, &bytes)) return;
    std::string back;
    Require(AribText::Decode(bytes.data(), bytes.size(), &back) && back == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ScanAsStream(data, size);
    ScanAsSection(data, size);
    const AribName name = AribText::Read(data, size);
    Require(IsValidUtf8(name.Text));
    if (name.Decoded) RoundTrip(name.Text);
    RoundTrip(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
