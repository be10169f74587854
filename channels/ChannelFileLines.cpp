#include "channels/ChannelFileLines.h"

namespace {

const char* const NotUtf8 =
    "not valid UTF-8 (save the file as UTF-8 or as UTF-16 with a byte-order mark)";

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

ChannelFileLines::ChannelFileLines(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {
    if (size_ >= 3 && bytes_[0] == 0xEF && bytes_[1] == 0xBB && bytes_[2] == 0xBF) {
        at_ = 3;
    } else if (size_ >= 2 && bytes_[0] == 0xFF && bytes_[1] == 0xFE) {
        encoding_ = Encoding::Utf16Le;
        at_ = 2;
    } else if (size_ >= 2 && bytes_[0] == 0xFE && bytes_[1] == 0xFF) {
        encoding_ = Encoding::Utf16Be;
        at_ = 2;
    }
}

bool ChannelFileLines::Next(ChannelString* line, std::string* error) {
    line->clear();
    error->clear();
    if (failed_ || at_ >= size_) return false;
    ++lineNumber_;
    size_t characters = 0;
    bool carriageReturn = false;  // held back until we know whether LF follows
    while (at_ < size_) {
        uint32_t c = 0;
        if (!NextCodePoint(&c, error) || c == LineEnd) break;
        if (carriageReturn && !Keep(line, CarriageReturn, &characters, error)) break;
        carriageReturn = c == CarriageReturn;
        if (!carriageReturn && !Keep(line, c, &characters, error)) break;
    }
    failed_ = !error->empty();
    return !failed_;
}

// Appends `c` to the line, refusing a NUL and the character after the last
// one a line may have.
bool ChannelFileLines::Keep(ChannelString* line, uint32_t c, size_t* characters,
                            std::string* error) {
    if (c == 0) {
        *error = encoding_ == Encoding::Utf8
                     ? "a NUL byte (is it UTF-16 without a byte-order mark? save it as UTF-8)"
                     : "a NUL character";
        return false;
    }
    if (++*characters > MaxLineLength) {
        *error = "the line is longer than " + std::to_string(MaxLineLength) + " characters";
        return false;
    }
    Append(line, c);
    return true;
}

bool ChannelFileLines::NextCodePoint(uint32_t* c, std::string* error) {
    return encoding_ == Encoding::Utf8 ? NextUtf8(c, error) : NextUtf16(c, error);
}

// One code point of well-formed UTF-8: shortest form only, no surrogates,
// nothing above U+10FFFF, no sequence cut by the end of the file.
bool ChannelFileLines::NextUtf8(uint32_t* c, std::string* error) {
    const uint8_t lead = bytes_[at_];
    size_t length = 0;
    uint32_t value = 0, minimum = 0;
    if (lead < 0x80) {
        *c = lead;
        ++at_;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07u, minimum = 0x10000;
    }
    bool valid = length != 0 && size_ - at_ >= length;
    for (size_t i = 1; valid && i < length; ++i) {
        valid = IsContinuation(bytes_[at_ + i]);
        value = value << 6 | (bytes_[at_ + i] & 0x3Fu);
    }
    valid = valid && value >= minimum && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    if (!valid) {
        *error = NotUtf8;
        return false;
    }
    at_ += length;
    *c = value;
    return true;
}

bool ChannelFileLines::NextUtf16(uint32_t* c, std::string* error) {
    uint32_t unit = 0;
    if (!NextUnit(&unit)) {
        *error = "the file ends inside a UTF-16 character";
        return false;
    }
    if (unit < 0xD800 || unit > 0xDFFF) {
        *c = unit;
        return true;
    }
    uint32_t low = 0;
    if (unit > 0xDBFF || !NextUnit(&low) || low < 0xDC00 || low > 0xDFFF) {
        *error = "not valid UTF-16 (a surrogate without its pair)";
        return false;
    }
    *c = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    return true;
}

bool ChannelFileLines::NextUnit(uint32_t* unit) {
    if (size_ - at_ < 2) {
        at_ = size_;
        return false;
    }
    const uint32_t first = bytes_[at_], second = bytes_[at_ + 1];
    at_ += 2;
    *unit = encoding_ == Encoding::Utf16Le ? (second << 8 | first) : (first << 8 | second);
    return true;
}

void ChannelFileLines::Append(ChannelString* line, uint32_t c) {
    if (c < 0x10000) {
        line->push_back(static_cast<WideChar>(c));
        return;
    }
    line->push_back(static_cast<WideChar>(0xD800 + ((c - 0x10000) >> 10)));
    line->push_back(static_cast<WideChar>(0xDC00 + ((c - 0x10000) & 0x3FF)));
}
