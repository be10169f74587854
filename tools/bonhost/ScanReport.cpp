#include "tools/bonhost/ScanReport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using nlohmann::ordered_json;

std::string Number(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Rounded as printed, so that a reader gets the value the file shows; -0.00
// comes out as 0.00.
double Hundredths(double value) { return std::round(value * 100) / 100 + 0.0; }

ordered_json RowObject(const ScanRow& row) {
    ordered_json object;
    object["space"] = row.Space;
    object["spaceName"] = row.SpaceName;
    object["channel"] = row.Channel;
    object["channelName"] = row.ChannelName;
    object["signal"] = Hundredths(row.Signal);
    object["locked"] = row.Locked;
    object["tsid"] = row.HasTsid ? ordered_json(row.Tsid) : ordered_json(nullptr);
    object["services"] = row.Services;
    object["mbps"] = Hundredths(row.Mbps);
    return object;
}

// Texts from the air may hold bytes that are not UTF-8; they become U+FFFD
// instead of an exception.
std::string Dump(const ordered_json& value) {
    return value.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

// nlohmann writes the shortest text that reads back as the same double (0.0,
// 12.3); the report's numbers keep two decimals like the table. So this walk
// writes the layout (one row a line) and the fractional numbers, and leaves
// strings, integers and the rest to nlohmann.
void Write(const ordered_json& value, std::string* out) {
    if (value.is_object() || value.is_array()) {
        const bool object = value.is_object();
        *out += object ? '{' : '[';
        const char* separator = "";
        for (const auto& item : value.items()) {
            *out += separator;
            separator = ", ";
            if (object) *out += Dump(item.key()) + ": ";
            Write(item.value(), out);
        }
        *out += object ? '}' : ']';
    } else if (value.is_number_float() && std::isfinite(value.get<double>())) {
        *out += Number("%.2f", value.get<double>());
    } else {
        *out += Dump(value);  // a NaN or infinity comes out as null
    }
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

std::string ScanReport::Json(const std::vector<ScanRow>& rows) {
    std::string json = "[";
    for (size_t i = 0; i < rows.size(); ++i) {
        json += i ? ",\n  " : "\n  ";
        Write(RowObject(rows[i]), &json);
    }
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
