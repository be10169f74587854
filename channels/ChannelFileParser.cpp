#include "channels/ChannelFileParser.h"

#include <cstdint>
#include <vector>

#include "channels/ChannelFileLines.h"

namespace {

const char* const LineForm = "a line is: tuning space, channel name, frequency in kHz[, TSID]";
constexpr size_t MaxFields = 4;

bool IsBlank(WideChar c) { return c == WIDE(' ') || c == WIDE('\t'); }

ChannelString Trim(const ChannelString& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Splits at commas into at most MaxFields + 1 trimmed fields (one more than
// a line may have, so too many is seen without keeping them all).
size_t SplitFields(const ChannelString& text, ChannelString* fields) {
    size_t count = 0, start = 0;
    for (;;) {
        const size_t comma = text.find(WIDE(','), start);
        const size_t length = comma == ChannelString::npos ? ChannelString::npos : comma - start;
        fields[count++] = Trim(text.substr(start, length));
        if (comma == ChannelString::npos || count == MaxFields + 1) return count;
        start = comma + 1;
    }
}

bool ParseFrequency(const ChannelString& text, uint32_t* value, std::string* error) {
    uint64_t parsed = 0;
    for (WideChar c : text) {
        if (c < WIDE('0') || c > WIDE('9')) {
            *error = "frequency " + QuoteForMessage(text) + " is not a whole number of kHz";
            return false;
        }
        parsed = parsed * 10 + static_cast<uint32_t>(c - WIDE('0'));
        if (parsed > UINT32_MAX) {
            *error = "frequency " + QuoteForMessage(text) + " is too large";
            return false;
        }
    }
    if (text.empty()) *error = "the frequency is missing";
    *value = static_cast<uint32_t>(parsed);
    return !text.empty();
}

bool LooksLikeTsid(const ChannelString& text) {
    return text.size() >= 2 && text[0] == WIDE('0') &&
           (text[1] == WIDE('x') || text[1] == WIDE('X'));
}

int HexDigit(WideChar c) {
    if (c >= WIDE('0') && c <= WIDE('9')) return c - WIDE('0');
    if (c >= WIDE('a') && c <= WIDE('f')) return c - WIDE('a') + 10;
    if (c >= WIDE('A') && c <= WIDE('F')) return c - WIDE('A') + 10;
    return -1;
}

bool ParseTsid(const ChannelString& text, uint16_t* value, std::string* error) {
    bool valid = text.size() >= 3 && text.size() <= 6 && text[0] == WIDE('0') &&
                 (text[1] == WIDE('x') || text[1] == WIDE('X'));
    uint32_t parsed = 0;
    for (size_t i = 2; valid && i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        valid = digit >= 0;
        parsed = parsed << 4 | static_cast<uint32_t>(digit < 0 ? 0 : digit);
    }
    if (!valid) {
        *error = text.empty() ? std::string("the TSID is missing")
                              : "TSID " + QuoteForMessage(text) +
                                    " is not 0x and one to four hexadecimal digits, such as 0x40F1";
        return false;
    }
    *value = static_cast<uint16_t>(parsed);
    return true;
}

}  // namespace

bool ChannelFileParser::Parse(const uint8_t* bytes, size_t size, Network network, ChannelList* list,
                              ChannelFileError* error) {
    *error = ChannelFileError{};
    if (size > MaxFileBytes) {
        error->Message = "the file is larger than " + std::to_string(MaxFileBytes) + " bytes";
        return false;
    }
    ChannelList parsed(network);
    ChannelFileLines lines(bytes, size);
    ChannelString line;
    while (lines.Next(&line, &error->Message)) {
        if (!ParseLine(line, &parsed, &error->Message)) break;
    }
    if (!error->Message.empty()) {
        error->Line = lines.LineNumber();
        return false;
    }
    if (parsed.TotalChannels() == 0) {
        error->Message = "the file lists no channels";
        return false;
    }
    *list = std::move(parsed);
    return true;
}

bool ChannelFileParser::ParseLine(const ChannelString& line, ChannelList* list,
                                  std::string* error) {
    const ChannelString text = Trim(line.substr(0, line.find(WIDE('#'))));
    if (text.empty()) return true;
    ChannelString fields[MaxFields + 1];
    const size_t count = SplitFields(text, fields);
    // A fourth field of a terrestrial row is more likely a name cut by a
    // comma than a TSID, unless it looks like one (Add refuses that).
    const bool satellite = list->GetNetwork() == Network::IsdbS;
    const bool cutName = count == MaxFields && !satellite && !LooksLikeTsid(fields[3]);
    ChannelEntry entry;
    return ParseEntry(fields, cutName ? MaxFields + 1 : count, &entry, error) &&
           list->Add(entry, error);
}

bool ChannelFileParser::ParseEntry(const ChannelString* fields, size_t count, ChannelEntry* entry,
                                   std::string* error) {
    if (count < 3 || count > MaxFields) {
        *error = count < 3 ? "too few fields; " : "too many fields (a name cannot hold a comma); ";
        *error += LineForm;
        return false;
    }
    entry->Space = fields[0];
    entry->Name = fields[1];
    if (!ParseFrequency(fields[2], &entry->FrequencyKHz, error)) return false;
    entry->HasTsid = count == MaxFields;
    return !entry->HasTsid || ParseTsid(fields[3], &entry->Tsid, error);
}
