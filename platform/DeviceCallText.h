// One TunerDeviceControl call as one line of text, the form both the tracing
// driver (after "(DeviceCall) ") and the simulator's call log write, so that
// a user's trace can be compared with a simulated run and replayed:
//
//   <ms> <Operation> in=<items> hr=0x<8 hex digits> out=<items>
//
// Items are separated by commas: a number in decimal, bytes as "x" and
// lower-case hex digits ("x" alone: none), or bytes left out for privacy as
// "@<length>:<digest>" (the FNV-1a digest of the bytes in 8 hex digits),
// followed by ":<hex>" with the last two bytes when they are a card answer's
// status word. Inputs are what the driver passed (the scalars, the records
// behind pointers), outputs what the device wrote, on success only.
// Portable; never throws out of Parse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DeviceCallItem {
    enum class Kind { Number, Bytes, Hidden };
    Kind Type = Kind::Number;
    uint64_t Number = 0;         // Number
    std::vector<uint8_t> Bytes;  // Bytes; Hidden: the status word kept, if any
    uint32_t HiddenLength = 0;   // Hidden
    uint32_t HiddenDigest = 0;   // Hidden

    static DeviceCallItem Of(uint64_t number);
    static DeviceCallItem Of(const void* bytes, size_t length);
    // The bytes left out: their length and digest, and the last `keptTail`
    // bytes (0 or 2).
    static DeviceCallItem HiddenOf(const std::vector<uint8_t>& bytes, size_t keptTail);
    bool operator==(const DeviceCallItem& other) const;
};

struct DeviceCall {
    uint64_t TimeMs = 0;
    std::string Operation;
    std::vector<DeviceCallItem> In;
    int32_t Result = 0;
    std::vector<DeviceCallItem> Out;
};

class DeviceCallText {
public:
    // The line, without a line end.
    static std::string Format(const DeviceCall& call);
    // Reads a line as Format writes it (a line end and surrounding blanks are
    // allowed); false on anything else.
    static bool Parse(const std::string& line, DeviceCall* call);
    // FNV-1a over the bytes, 32 bits.
    static uint32_t Digest(const uint8_t* bytes, size_t length);
};
