// bonhost's extras on the command line: pid, card, keys and lnb with their
// required options, and the PID-list and APDU parsers they rely on.
#include <gtest/gtest.h>

#include "tools/bonhost/BonhostOptions.h"

namespace {
bool Parse(std::vector<std::string> args, BonhostOptions* options, std::string* error) {
    return ParseBonhostOptions(args, options, error);
}
}  // namespace

TEST(BonhostExtrasOptions, PidRecordsWithItsLists) {
    BonhostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"pid", "--driver", "a.dll", "--space", "0", "--channel", "13ch",
                       "--seconds", "4", "--out", "x.ts", "--add", "0x100,273",
                       "--remove", "0x0111"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.Command, BonhostCommand::Pid);
    EXPECT_EQ(o.AddPids, (std::vector<uint16_t>{0x100, 273}));
    EXPECT_EQ(o.RemovePids, (std::vector<uint16_t>{0x111}));
    EXPECT_FALSE(Parse({"pid", "--driver", "a.dll", "--space", "0", "--channel", "1",
                        "--seconds", "4", "--out", "x.ts"},
                       &o, &error));
    EXPECT_NE(error.find("--add"), std::string::npos);
    EXPECT_FALSE(Parse({"pid", "--driver", "a.dll", "--add", "0x100"}, &o, &error));
    EXPECT_FALSE(Parse({"pid", "--driver", "a.dll", "--space", "0", "--channel", "1",
                        "--seconds", "4", "--out", "x.ts", "--add", "0x2000"},
                       &o, &error));
}

TEST(BonhostExtrasOptions, CardKeysAndLnbNeedTheirArguments) {
    BonhostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"card", "--driver", "a.dll", "--apdu", "00 a4 04 00"}, &o, &error)) << error;
    EXPECT_EQ(o.Command, BonhostCommand::Card);
    EXPECT_EQ(o.Apdu, (std::vector<uint8_t>{0x00, 0xA4, 0x04, 0x00}));
    EXPECT_FALSE(Parse({"card", "--driver", "a.dll"}, &o, &error));
    EXPECT_FALSE(Parse({"card", "--driver", "a.dll", "--apdu", "0G"}, &o, &error));

    ASSERT_TRUE(Parse({"keys", "--driver", "a.dll", "--seconds", "3"}, &o, &error)) << error;
    EXPECT_EQ(o.Command, BonhostCommand::Keys);
    EXPECT_FALSE(Parse({"keys", "--driver", "a.dll"}, &o, &error));

    for (const char* action : {"on", "off", "status"}) {
        ASSERT_TRUE(Parse({"lnb", action, "--driver", "a.dll"}, &o, &error)) << action;
        EXPECT_EQ(o.Command, BonhostCommand::Lnb);
        EXPECT_EQ(o.LnbAction, action);
    }
    EXPECT_FALSE(Parse({"lnb", "--driver", "a.dll"}, &o, &error));
    EXPECT_FALSE(Parse({"lnb", "up", "--driver", "a.dll"}, &o, &error));
    EXPECT_FALSE(Parse({"lnb", "on", "off", "--driver", "a.dll"}, &o, &error));
    EXPECT_FALSE(Parse({"lnb", "on"}, &o, &error));  // no driver
    ASSERT_TRUE(Parse({"lnb", "--help"}, &o, &error));
    EXPECT_EQ(o.Command, BonhostCommand::Help);
}

TEST(BonhostExtrasOptions, PidListParser) {
    std::vector<uint16_t> pids;
    ASSERT_TRUE(ParsePidList("0x1FFF", &pids));
    EXPECT_EQ(pids, (std::vector<uint16_t>{0x1FFF}));
    ASSERT_TRUE(ParsePidList("0,17,0x11,0100", &pids));
    EXPECT_EQ(pids, (std::vector<uint16_t>{0, 17, 0x11, 100}));
    for (const char* bad : {"", ",", "1,", "0x", "-1", "+3", "12a", "8192", "0xFFFF", "1,,2", "0x-1"})
        EXPECT_FALSE(ParsePidList(bad, &pids)) << bad;
}

TEST(BonhostExtrasOptions, HexBytesParser) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ParseHexBytes("80:5eFF", &bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x80, 0x5E, 0xFF}));
    for (const char* bad : {"", " ", "abc", "0x12", "1 2 3"})
        EXPECT_FALSE(ParseHexBytes(bad, &bytes)) << bad;
}

TEST(BonhostExtrasOptions, UsageNamesEveryExtra) {
    const std::string usage = BonhostUsage();
    for (const char* text : {"bonhost pid", "--add LIST", "bonhost card", "--apdu HEX",
                             "bonhost keys", "bonhost lnb    on|off|status"})
        EXPECT_NE(usage.find(text), std::string::npos) << text;
}
