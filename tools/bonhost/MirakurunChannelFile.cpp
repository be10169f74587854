#include "tools/bonhost/MirakurunChannelFile.h"

#include <cstdio>

#include "channels/TunerServerName.h"

namespace {

// The length of the UTF-8 sequence at `at` and its code point; 0 for a
// byte that starts no valid sequence (stray, overlong, surrogate, cut off).
size_t DecodeUtf8(const std::string& text, size_t at, uint32_t* codePoint) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    uint32_t value = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = value << 6 | (byte(at + i) & 0x3F);
    }
    const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return length;
}

// YAML readers refuse control characters and a few others in a file: those
// go in as escapes.
bool NeedsEscape(uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0xFFFE ||
           c == 0xFFFF;
}

// `text` as a double-quoted YAML scalar; bytes that are not UTF-8 become
// U+FFFD, so a name from the air cannot make the file unreadable.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        uint32_t c = 0;
        const size_t length = DecodeUtf8(text, at, &c);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (NeedsEscape(c)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out + "\"";
}

// Without its blanks at either end, as Mirakurun keeps a name.
std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void Entry(const std::string& name, const TunerServerChannel& channel, const ScanService* service,
           std::string* out) {
    *out += "- name: " + Quoted(name) + "\n";
    *out += "  type: " + channel.Type + "\n";
    *out += "  channel: " + Quoted(channel.Name) + "\n";
    if (service != nullptr) *out += "  serviceId: " + std::to_string(service->Id) + "\n";
}

// The entries of one locked row; false when it gave none.
bool RowEntries(const ScanRow& row, const TunerServerChannel& channel, std::string* out) {
    bool any = false;
    for (size_t i = 0; i < row.ServiceDetails.size() && i < row.Services.size(); ++i) {
        const ScanService& service = row.ServiceDetails[i];
        if (!MirakurunChannelFile::IsTvService(service.Type)) continue;
        std::string name = Trimmed(row.Services[i]);
        if (channel.Type == "GR") {
            // Mirakurun's own fallback for a channel without a usable name.
            Entry(name.empty() ? "GR" + channel.Name : name, channel, nullptr, out);
            return true;
        }
        if (name.empty()) name = channel.Type + channel.Name + ":" + std::to_string(service.Id);
        Entry(name, channel, &service, out);
        any = true;
    }
    // A terrestrial channel needs no service to be listed: Mirakurun finds
    // the services when it starts.
    if (!any && channel.Type == "GR") {
        Entry("GR" + channel.Name, channel, nullptr, out);
        any = true;
    }
    return any;
}

}  // namespace

std::string MirakurunChannelFile::Yaml(const std::vector<ScanRow>& rows,
                                       std::vector<std::string>* leftOut) {
    std::string entries;
    for (const ScanRow& row : rows) {
        if (!row.Locked) continue;
        TunerServerChannel channel;
        if (!TunerServerName::FromRow(row.SpaceName, row.ChannelName, &channel)) {
            leftOut->push_back(row.SpaceName + " " + row.ChannelName +
                               " left out: no tuner-server name stands for it");
            continue;
        }
        if (!RowEntries(row, channel, &entries))
            leftOut->push_back(row.SpaceName + " " + row.ChannelName +
                               " left out: its SDT named no TV service");
    }
    if (entries.empty()) return std::string();
    return "# Mirakurun's channels.yml, written by bonhost scan from the channels that locked\n" +
           entries;
}
