// Splits the bytes of a channel file into lines of UTF-16 text. The encoding
// is UTF-8 unless the file starts with a byte-order mark: EF BB BF (UTF-8),
// FF FE (UTF-16 little-endian) or FE FF (UTF-16 big-endian). A line ends at
// LF; a CR right before it or at the end of the file is dropped. Nothing is
// read past the given size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "channels/ChannelText.h"

class ChannelFileLines {
public:
    static constexpr size_t MaxLineLength = 1000;  // characters, the line end not counted

    // `bytes` must stay valid while the object is used.
    ChannelFileLines(const uint8_t* bytes, size_t size);

    // The next line, without its end, in *line. False at the end of the file
    // (*error empty) or on a line that is not valid text, holds a NUL or is
    // longer than MaxLineLength (*error says why; reading stops there).
    bool Next(ChannelString* line, std::string* error);

    // Number of the line Next last returned or refused, from 1.
    uint32_t LineNumber() const { return lineNumber_; }

private:
    enum class Encoding { Utf8, Utf16Le, Utf16Be };
    static constexpr uint32_t LineEnd = 0x0A;
    static constexpr uint32_t CarriageReturn = 0x0D;

    bool NextCodePoint(uint32_t* c, std::string* error);
    bool NextUtf8(uint32_t* c, std::string* error);
    bool NextUtf16(uint32_t* c, std::string* error);
    bool NextUnit(uint32_t* unit);
    bool Keep(ChannelString* line, uint32_t c, size_t* characters, std::string* error);
    static void Append(ChannelString* line, uint32_t c);

    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
    Encoding encoding_ = Encoding::Utf8;
    uint32_t lineNumber_ = 0;
    bool failed_ = false;
};
