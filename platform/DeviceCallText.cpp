#include "platform/DeviceCallText.h"

#include <cstdio>
#include <cstring>

namespace {

const char HexDigits[] = "0123456789abcdef";

void AppendHex(std::string* text, const std::vector<uint8_t>& bytes) {
    for (uint8_t byte : bytes) {
        text->push_back(HexDigits[byte >> 4]);
        text->push_back(HexDigits[byte & 15]);
    }
}

void AppendItems(std::string* text, const std::vector<DeviceCallItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (i != 0) text->push_back(',');
        const DeviceCallItem& item = items[i];
        if (item.Type == DeviceCallItem::Kind::Number) {
            *text += std::to_string(item.Number);
        } else if (item.Type == DeviceCallItem::Kind::Bytes) {
            text->push_back('x');
            AppendHex(text, item.Bytes);
        } else {
            char head[40];
            std::snprintf(head, sizeof head, "@%u:%08x%08x", static_cast<unsigned>(item.HiddenLength),
                          static_cast<unsigned>(item.HiddenDigest >> 32),
                          static_cast<unsigned>(item.HiddenDigest & 0xFFFFFFFFu));
            *text += head;
            if (!item.Bytes.empty()) {
                text->push_back(':');
                AppendHex(text, item.Bytes);
            }
        }
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>* bytes) {
    if (text.size() % 2 != 0) return false;
    bytes->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexValue(text[i]), low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

bool ParseDecimal(const std::string& text, uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (result > (UINT64_MAX - digit) / 10) return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

bool ParseHidden(const std::string& text, DeviceCallItem* item) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    uint64_t length = 0;
    if (!ParseDecimal(text.substr(0, colon), &length) || length > DeviceCallText::MaxHiddenLength)
        return false;
    const size_t second = text.find(':', colon + 1);
    const std::string digest = text.substr(colon + 1, second == std::string::npos ? std::string::npos
                                                                                 : second - colon - 1);
    std::vector<uint8_t> digestBytes;
    if ((digest.size() != 8 && digest.size() != 16) || !ParseHex(digest, &digestBytes)) return false;
    item->Type = DeviceCallItem::Kind::Hidden;
    item->HiddenLength = static_cast<uint32_t>(length);
    item->HiddenDigest = 0;
    for (uint8_t byte : digestBytes) item->HiddenDigest = item->HiddenDigest << 8 | byte;
    // The kept tail is part of the bytes counted.
    if (second != std::string::npos && !ParseHex(text.substr(second + 1), &item->Bytes)) return false;
    return item->Bytes.size() <= item->HiddenLength;
}

bool ParseItem(const std::string& text, DeviceCallItem* item) {
    if (!text.empty() && text[0] == 'x') {
        item->Type = DeviceCallItem::Kind::Bytes;
        return ParseHex(text.substr(1), &item->Bytes);
    }
    if (!text.empty() && text[0] == '@') return ParseHidden(text.substr(1), item);
    item->Type = DeviceCallItem::Kind::Number;
    return ParseDecimal(text, &item->Number);
}

bool ParseItems(const std::string& text, std::vector<DeviceCallItem>* items) {
    items->clear();
    if (text.empty()) return true;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        DeviceCallItem item;
        if (!ParseItem(text.substr(start, comma == std::string::npos ? std::string::npos
                                                                     : comma - start),
                       &item))
            return false;
        items->push_back(std::move(item));
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// The field after `name` ("in=") up to the next blank, from *at on.
bool Field(const std::string& line, size_t* at, const char* name, std::string* value) {
    const size_t length = std::strlen(name);
    if (line.compare(*at, length, name) != 0) return false;
    const size_t begin = *at + length;
    size_t end = line.find(' ', begin);
    if (end == std::string::npos) end = line.size();
    *value = line.substr(begin, end - begin);
    *at = end == line.size() ? end : end + 1;
    return true;
}

}  // namespace

DeviceCallItem DeviceCallItem::Of(uint64_t number) {
    DeviceCallItem item;
    item.Number = number;
    return item;
}

DeviceCallItem DeviceCallItem::Of(const void* bytes, size_t length) {
    DeviceCallItem item;
    item.Type = Kind::Bytes;
    const uint8_t* first = static_cast<const uint8_t*>(bytes);
    if (first != nullptr) item.Bytes.assign(first, first + length);
    return item;
}

DeviceCallItem DeviceCallItem::HiddenOf(const uint8_t* bytes, size_t length, size_t keptTail,
                                        const KeyedDigest* key) {
    DeviceCallItem item;
    item.Type = Kind::Hidden;
    item.HiddenLength = static_cast<uint32_t>(length);
    item.HiddenDigest = key != nullptr ? key->Of(bytes, length) : 0;
    if (keptTail != 0 && length >= keptTail) item.Bytes.assign(bytes + length - keptTail, bytes + length);
    return item;
}

bool DeviceCallItem::operator==(const DeviceCallItem& other) const {
    return Type == other.Type && Number == other.Number && Bytes == other.Bytes &&
           HiddenLength == other.HiddenLength && HiddenDigest == other.HiddenDigest;
}

std::string DeviceCallText::Format(const DeviceCall& call) {
    std::string text = std::to_string(call.TimeMs) + " " + call.Operation + " in=";
    AppendItems(&text, call.In);
    char result[24];
    std::snprintf(result, sizeof result, " hr=0x%08x out=", static_cast<unsigned>(call.Result));
    text += result;
    AppendItems(&text, call.Out);
    return text;
}

bool DeviceCallText::Parse(const std::string& raw, DeviceCall* call) {
    try {
        size_t begin = raw.find_first_not_of(" \t");
        size_t end = raw.find_last_not_of(" \t\r\n");
        if (begin == std::string::npos || end < begin) return false;
        const std::string line = raw.substr(begin, end - begin + 1);
        const size_t timeEnd = line.find(' ');
        if (timeEnd == std::string::npos || !ParseDecimal(line.substr(0, timeEnd), &call->TimeMs))
            return false;
        const size_t nameEnd = line.find(' ', timeEnd + 1);
        if (nameEnd == std::string::npos || nameEnd == timeEnd + 1) return false;
        call->Operation = line.substr(timeEnd + 1, nameEnd - timeEnd - 1);
        size_t at = nameEnd + 1;
        std::string in, result, out;
        if (!Field(line, &at, "in=", &in) || !Field(line, &at, "hr=0x", &result) ||
            !Field(line, &at, "out=", &out) || at != line.size())
            return false;
        std::vector<uint8_t> resultBytes;
        if (result.size() != 8 || !ParseHex(result, &resultBytes)) return false;
        call->Result = static_cast<int32_t>((uint32_t{resultBytes[0]} << 24) |
                                            (uint32_t{resultBytes[1]} << 16) |
                                            (uint32_t{resultBytes[2]} << 8) | resultBytes[3]);
        return ParseItems(in, &call->In) && ParseItems(out, &call->Out);
    } catch (...) {
        return false;
    }
}

