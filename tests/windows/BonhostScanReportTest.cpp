// The JSON file of `bonhost scan` as a program reading it sees it: every
// row's keys in their order and with their values, a missing TSID as null,
// service names with quotes, control characters and bytes that are not UTF-8
// (those become U+FFFD rather than an exception), and the fractional numbers
// written with exactly two decimals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <regex>

#include "tools/bonhost/ScanReport.h"

namespace {

ScanRow Row(uint32_t space, const char* spaceName, uint32_t channel, const char* channelName) {
    ScanRow row;
    row.Space = space;
    row.SpaceName = spaceName;
    row.Channel = channel;
    row.ChannelName = channelName;
    row.Tuned = true;
    return row;
}

}  // namespace

TEST(BonhostScanReport, JsonRowsReadBackWithTheirKeysValuesAndTwoDecimals) {
    std::vector<ScanRow> rows;
    rows.push_back(Row(0, "UHF", 0, "13ch"));
    rows.back().Signal = 18.0;
    rows.back().Locked = true;
    rows.back().HasTsid = true;
    rows.back().Tsid = 0x7FE0;
    rows.back().Services = {"\xE7\xB7\x8F\xE5\x90\x88 \"1\" \\ tab\tend", "bad \xFF\x80 bytes"};
    rows.back().Mbps = 16.016;
    rows.push_back(Row(0, "UHF", 7, "20ch"));  // silent: nothing arrived
    rows.push_back(Row(1, "CATV", 3, "C15ch"));
    rows.back().Signal = std::nan("");  // a driver's nonsense must not make the file unreadable
    rows.back().Locked = true;
    rows.back().HasTsid = true;
    rows.back().Tsid = 0;
    rows.back().Mbps = 12.344;

    std::string text;
    ASSERT_NO_THROW(text = ScanReport::Json(rows));
    nlohmann::ordered_json json;
    ASSERT_NO_THROW(json = nlohmann::ordered_json::parse(text)) << text;
    ASSERT_TRUE(json.is_array());
    ASSERT_EQ(rows.size(), json.size());
    const std::vector<std::string> keys = {"space", "spaceName", "channel", "channelName", "signal",
                                           "locked", "tsid", "services", "mbps"};
    for (const auto& object : json) {
        std::vector<std::string> seen;
        for (const auto& item : object.items()) seen.push_back(item.key());
        EXPECT_EQ(keys, seen);
    }

    const auto& locked = json[0];
    EXPECT_EQ(0, locked["space"]);
    EXPECT_EQ("UHF", locked["spaceName"]);
    EXPECT_EQ("13ch", locked["channelName"]);
    EXPECT_EQ(18.0, locked["signal"].get<double>());
    EXPECT_EQ(true, locked["locked"]);
    EXPECT_EQ(0x7FE0, locked["tsid"]);
    ASSERT_EQ(2u, locked["services"].size());
    EXPECT_EQ(rows[0].Services[0], locked["services"][0]);
    EXPECT_EQ("bad \xEF\xBF\xBD\xEF\xBF\xBD bytes", locked["services"][1]);
    EXPECT_EQ(16.02, locked["mbps"].get<double>());

    const auto& silent = json[1];
    EXPECT_EQ(1u, silent.count("tsid"));
    EXPECT_TRUE(silent["tsid"].is_null());
    EXPECT_EQ(false, silent["locked"]);
    EXPECT_TRUE(silent["services"].is_array() && silent["services"].empty());
    EXPECT_EQ(0.0, silent["mbps"].get<double>());

    EXPECT_EQ(1, json[2]["space"]);
    EXPECT_EQ(3, json[2]["channel"]);
    EXPECT_EQ(0, json[2]["tsid"]);  // TSID 0 is a TSID, not null
    EXPECT_TRUE(json[2]["signal"].is_null());
    EXPECT_EQ(12.34, json[2]["mbps"].get<double>());

    // The text itself: each number exactly as the table shows it, one row a line.
    std::vector<std::string> numbers;
    const std::regex number("\"(signal|mbps)\": ([^,}]*)");
    for (std::sregex_iterator it(text.begin(), text.end(), number), end; it != end; ++it)
        numbers.push_back((*it)[2]);
    EXPECT_EQ((std::vector<std::string>{"18.00", "16.02", "0.00", "0.00", "null", "12.34"}), numbers);
    EXPECT_EQ(rows.size() + 2, static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
    EXPECT_EQ("[]\n", ScanReport::Json({}));
}
