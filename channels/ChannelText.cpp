#include "channels/ChannelText.h"

namespace {

constexpr size_t QuoteLimit = 40;

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendCodePoint(std::string* out, uint32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The code point starting at text[*at], advancing *at past it.
uint32_t NextCodePoint(const WideChar* text, size_t length, size_t* at) {
    const uint32_t unit = static_cast<uint16_t>(text[(*at)++]);
    if (IsHighSurrogate(unit) && *at < length) {
        const uint32_t low = static_cast<uint16_t>(text[*at]);
        if (IsLowSurrogate(low)) {
            ++*at;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return IsHighSurrogate(unit) || IsLowSurrogate(unit) ? 0xFFFD : unit;
}

}  // namespace

void AppendUtf8(std::string* out, const WideChar* text, size_t length) {
    size_t at = 0;
    while (at < length) AppendCodePoint(out, NextCodePoint(text, length, &at));
}

std::string Utf8Of(const ChannelString& text) {
    std::string out;
    AppendUtf8(&out, text.data(), text.size());
    return out;
}

std::string QuoteForMessage(const ChannelString& text) {
    std::string out = "\"";
    size_t at = 0;
    for (size_t shown = 0; at < text.size() && shown < QuoteLimit; ++shown) {
        const uint32_t c = NextCodePoint(text.data(), text.size(), &at);
        AppendCodePoint(&out, c < 0x20 || (c >= 0x7F && c < 0xA0) ? '?' : c);
    }
    if (at < text.size()) out += "...";
    return out + "\"";
}
