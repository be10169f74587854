#include "tools/bonhost/ScanReport.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Number(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string JsonRow(const ScanRow& row) {
    std::string services;
    for (const std::string& name : row.Services)
        services += (services.empty() ? "" : ", ") + ScanReport::Quote(name);
    return "{\"space\": " + std::to_string(row.Space) +
           ", \"spaceName\": " + ScanReport::Quote(row.SpaceName) +
           ", \"channel\": " + std::to_string(row.Channel) +
           ", \"channelName\": " + ScanReport::Quote(row.ChannelName) +
           ", \"signal\": " + Number("%.2f", row.Signal) +
           ", \"locked\": " + (row.Locked ? "true" : "false") +
           ", \"tsid\": " + (row.HasTsid ? std::to_string(row.Tsid) : "null") +
           ", \"services\": [" + services + "]" +
           ", \"mbps\": " + Number("%.2f", row.Mbps) + "}";
}

std::string TableRow(const ScanRow& row) {
    char head[96];
    char tsid[8] = "-";
    if (row.HasTsid) std::snprintf(tsid, sizeof tsid, "0x%04X", row.Tsid);
    const std::string mbps = row.Mbps > 0 ? Number("%.2f", row.Mbps) : "-";
    std::snprintf(head, sizeof head, "%-6s %-9s %7.2f  %-3s %7s  %-6s", row.SpaceName.c_str(),
                  row.ChannelName.c_str(), row.Signal,
                  row.Locked ? "yes" : (row.Tuned ? "no" : "err"), mbps.c_str(), tsid);
    std::string line = head;
    if (!row.NetworkName.empty()) line += "  [" + row.NetworkName + "]";
    for (const std::string& name : row.Services) line += "  " + name;
    return line + "\n";
}

}  // namespace

std::string ScanReport::Quote(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);  // UTF-8 passes as it is
        }
    }
    return quoted + "\"";
}

std::string ScanReport::Json(const std::vector<ScanRow>& rows) {
    std::string json = "[";
    for (size_t i = 0; i < rows.size(); ++i) json += (i ? ",\n  " : "\n  ") + JsonRow(rows[i]);
    return json + (rows.empty() ? "]\n" : "\n]\n");
}

std::string ScanReport::Table(const std::vector<ScanRow>& rows) {
    std::vector<const ScanRow*> order;
    for (const ScanRow& row : rows) order.push_back(&row);
    std::stable_sort(order.begin(), order.end(), [](const ScanRow* a, const ScanRow* b) {
        return (a->Locked || a->Signal > 0) > (b->Locked || b->Signal > 0);
    });
    std::string table = "space  channel    signal  TS   Mbit/s  TSID    [network]  services\n";
    size_t locked = 0;
    for (const ScanRow* row : order) {
        table += TableRow(*row);
        if (row->Locked) ++locked;
    }
    return table + std::to_string(locked) + " of " + std::to_string(rows.size()) +
           " channels locked\n";
}
