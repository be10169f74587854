#include "channels/TunerServerName.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// `text` from `at` starts with `word` (ASCII letters in any case).
bool HasWordAt(const std::string& text, size_t at, const char* word) {
    for (size_t i = 0; word[i] != 0; ++i)
        if (at + i >= text.size() || Upper(text[at + i]) != word[i]) return false;
    return true;
}

// Exactly `count` digits at `at`, as a number; -1 otherwise.
int DigitsAt(const std::string& text, size_t at, size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!IsDigit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// A number of one or two digits without a leading zero filling the rest of
// `text` from `at`; -1 otherwise.
int ShortNumberAt(const std::string& text, size_t at) {
    const size_t count = text.size() - at;
    if (at >= text.size() || count > 2 || text[at] == '0') return -1;
    return DigitsAt(text, at, count);
}

TunerServerChannel Make(const char* type, std::string name, const char* space, std::string row) {
    TunerServerChannel channel;
    channel.Type = type;
    channel.Name = std::move(name);
    channel.Space = space;
    channel.Channel = std::move(row);
    return channel;
}

std::string TwoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

// The four kinds, read from either side; false when `text` is not one.
bool Terrestrial(const std::string& text, size_t at, TunerServerChannel* out) {
    const int number = DigitsAt(text, at, 2);
    if (number < 13 || number > 62) return false;
    *out = Make("GR", TwoDigits(number), "UFH", TwoDigits(number) + "ch");
    return true;
}

bool Cable(const std::string& text, size_t at, TunerServerChannel* out) {
    const int number = DigitsAt(text, at, 2);
    if (number < 13 || number > 63) return false;
    *out = Make("GR", "C" + TwoDigits(number), "CATV", "C" + TwoDigits(number) + "ch");
    return true;
}

TunerServerChannel Bs(int transponder, int stream) {
    const std::string ts = std::to_string(stream);
    return Make("BS", "BS" + TwoDigits(transponder) + "_" + ts, "BS",
                "BS" + std::to_string(transponder) + "/TS" + ts);
}

TunerServerChannel Cs(int transponder) {
    const std::string number = std::to_string(transponder);
    return Make("CS", "CS" + number, "CS110", "ND" + number);
}

}  // namespace

bool TunerServerName::ToRow(const std::string& name, TunerServerChannel* channel) {
    TunerServerChannel found;
    bool ok = false;
    if (name.size() == 2) {
        ok = Terrestrial(name, 0, &found);
    } else if (name.size() == 3 && Upper(name[0]) == 'C' && IsDigit(name[1])) {
        ok = Cable(name, 1, &found);
    } else if (name.size() == 6 && HasWordAt(name, 0, "BS") && name[4] == '_') {
        const int transponder = DigitsAt(name, 2, 2), stream = DigitsAt(name, 5, 1);
        ok = transponder > 0 && stream >= 0;
        if (ok) found = Bs(transponder, stream);
    } else if (HasWordAt(name, 0, "CS")) {
        const int transponder = ShortNumberAt(name, 2);
        ok = transponder > 0;
        if (ok) found = Cs(transponder);
    }
    if (ok) *channel = found;
    return ok;
}

bool TunerServerName::FromRow(const std::string& space, const std::string& channel,
                              TunerServerChannel* named) {
    TunerServerChannel found;
    bool ok = false;
    if (space == "UFH") {
        ok = channel.size() == 4 && HasWordAt(channel, 2, "CH") && Terrestrial(channel, 0, &found);
    } else if (space == "CATV") {
        ok = channel.size() == 5 && Upper(channel[0]) == 'C' && HasWordAt(channel, 3, "CH") &&
             Cable(channel, 1, &found);
    } else if (space == "BS") {
        // "BS" transponder "/TS" stream, the transponder without a leading zero.
        const size_t slash = channel.find('/');
        if (HasWordAt(channel, 0, "BS") && slash != std::string::npos && slash + 4 == channel.size() &&
            HasWordAt(channel, slash, "/TS")) {
            const int transponder = ShortNumberAt(channel.substr(0, slash), 2);
            const int stream = DigitsAt(channel, slash + 3, 1);
            ok = transponder > 0 && stream >= 0;
            if (ok) found = Bs(transponder, stream);
        }
    } else if (space == "CS110") {
        const int transponder = HasWordAt(channel, 0, "ND") ? ShortNumberAt(channel, 2) : -1;
        ok = transponder > 0;
        if (ok) found = Cs(transponder);
    }
    if (ok) *named = found;
    return ok;
}

bool TunerServerName::HoldsPlaceholder(const std::string& text) {
    for (size_t open = text.find('<'); open != std::string::npos; open = text.find('<', open + 1)) {
        size_t end = open + 1;
        while (end < text.size() && IsLetter(text[end])) ++end;
        if (end > open + 1 && end < text.size() && text[end] == '>') return true;
    }
    return false;
}
