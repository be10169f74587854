// The channel file: a plan a user writes by hand to replace the built-in one.
// One channel a line, fields separated by commas, blanks around them ignored,
// '#' starting a comment that runs to the end of the line:
//
//   tuning space, channel name, frequency in kHz[, TSID]
//   UFH,  13ch,    473143
//   BS,   BS1/TS0, 11727480, 0x4010
//
// The space is one of the configured network's, written as the driver lists
// it; the frequency a decimal number of kHz within the space's band; the
// TSID, required for BS and CS110 and refused for UFH and CATV, "0x" and one
// to four hexadecimal digits. Names follow ChannelList::Add. The encoding is
// ChannelFileLines'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "channels/ChannelList.h"

// Where and why a channel file was refused.
struct ChannelFileError {
    uint32_t Line = 0;    // from 1; 0 when the fault is the file as a whole
    std::string Message;  // UTF-8, one line
};

class ChannelFileParser {
public:
    static constexpr size_t MaxFileBytes = 1024 * 1024;

    // Parses a whole file of `size` bytes (nothing beyond is read) for
    // `network`. True, with the file's plan moved into *list, when every line
    // is valid and at least one channel is listed; otherwise false, *list
    // untouched and *error the first fault. Throws only std::bad_alloc.
    static bool Parse(const uint8_t* bytes, size_t size, Network network, ChannelList* list,
                      ChannelFileError* error);

private:
    static bool ParseLine(const ChannelString& line, ChannelList* list, std::string* error);
    static bool ParseEntry(const ChannelString* fields, size_t count, ChannelEntry* entry,
                           std::string* error);
};
