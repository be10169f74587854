// One TunerDeviceControl call as one line of text, the form both the tracing
// driver (after "(DeviceCall) ") and the simulator's call log write, so that
// a user's trace can be compared with a simulated run and replayed:
//
//   <ms> <Operation> in=<items> hr=0x<8 hex digits> out=<items>
//
// Items are separated by commas: a number in decimal, bytes as "x" and
// lower-case hex digits ("x" alone: none), or bytes left out for privacy as
// "@<length>:<digest>" (a KeyedDigest of the bytes in 16 hex digits, keyed
// with a value the writing process drew and kept to itself; all zeros when
// it had none), followed by ":<hex>" with the last two bytes when they are a
// card answer's status word. Inputs are what the driver passed (the scalars,
// the records behind pointers), outputs what the device wrote, on success only.
// Parse also reads the 8-digit digests of earlier traces, and refuses a
// hidden length above MaxHiddenLength: whoever replays a line may size a
// buffer by it. Portable; never throws out of Parse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/KeyedDigest.h"

struct DeviceCallItem {
    enum class Kind { Number, Bytes, Hidden };
    Kind Type = Kind::Number;
    uint64_t Number = 0;         // Number
    std::vector<uint8_t> Bytes;  // Bytes; Hidden: the status word kept, if any
    uint32_t HiddenLength = 0;   // Hidden
    uint64_t HiddenDigest = 0;   // Hidden

    static DeviceCallItem Of(uint64_t number);
    static DeviceCallItem Of(const void* bytes, size_t length);
    // The `length` bytes left out: their length and digest under `key` (null:
    // none, written as zeros), and the last `keptTail` bytes (0 or 2).
    static DeviceCallItem HiddenOf(const uint8_t* bytes, size_t length, size_t keptTail,
                                   const KeyedDigest* key);
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
    // The most bytes a hidden item may stand for: more than any device call
    // passes (a card command or answer is a few hundred).
    static constexpr uint32_t MaxHiddenLength = 65536;

    // The line, without a line end.
    static std::string Format(const DeviceCall& call);
    // Reads a line as Format writes it (a line end and surrounding blanks are
    // allowed); false on anything else.
    static bool Parse(const std::string& line, DeviceCall* call);
};
