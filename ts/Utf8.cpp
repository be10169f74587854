#include "ts/Utf8.h"

namespace {

bool IsSurrogate(uint32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }

// Length of the sequence a lead byte opens and the smallest value it may
// carry (anything below is overlong); 0 for a byte that opens nothing.
size_t LeadLength(uint8_t lead, uint32_t* value, uint32_t* smallest) {
    static const struct {
        uint8_t Mask, Match;
        size_t Length;
        uint32_t Smallest;
    } forms[] = {{0x80, 0x00, 1, 0}, {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};
    for (const auto& form : forms) {
        if ((lead & form.Mask) != form.Match) continue;
        *value = lead & static_cast<uint8_t>(~form.Mask);
        *smallest = form.Smallest;
        return form.Length;
    }
    return 0;
}

}  // namespace

bool AppendUtf8(uint32_t codePoint, std::string* text) {
    if (IsSurrogate(codePoint) || codePoint > 0x10FFFF) return false;
    if (codePoint < 0x80) {
        text->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        text->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        text->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        text->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        text->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        text->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        text->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
    return true;
}

bool NextUtf8(const std::string& text, size_t* at, uint32_t* codePoint) {
    if (*at >= text.size()) return false;
    uint32_t value = 0, smallest = 0;
    const size_t length = LeadLength(static_cast<uint8_t>(text[*at]), &value, &smallest);
    if (length == 0 || length > text.size() - *at) return false;
    for (size_t i = 1; i < length; ++i) {
        const uint8_t next = static_cast<uint8_t>(text[*at + i]);
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < smallest || value > 0x10FFFF || IsSurrogate(value)) return false;
    *codePoint = value;
    *at += length;
    return true;
}

bool IsValidUtf8(const std::string& text) {
    uint32_t codePoint = 0;
    size_t at = 0;
    while (at < text.size())
        if (!NextUtf8(text, &at, &codePoint)) return false;
    return true;
}
