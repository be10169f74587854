// bonhost's command line: commands, required options and clear refusals.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tools/bonhost/BonhostOptions.h"

namespace {
bool Parse(std::vector<std::string> args, BonhostOptions* options, std::string* error) {
    return ParseBonhostOptions(args, options, error);
}
}  // namespace

TEST(BonhostOptions, RecordTakesEveryOption) {
    BonhostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"record", "--driver", "a.dll", "--space", "0", "--channel", "13ch",
                       "--seconds", "2.5", "--out", "x.ts"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.Command, BonhostCommand::Record);
    EXPECT_EQ(o.Driver, "a.dll");
    EXPECT_EQ(o.Space, "0");
    EXPECT_EQ(o.Channel, "13ch");
    EXPECT_DOUBLE_EQ(o.Seconds, 2.5);
    EXPECT_EQ(o.Out, "x.ts");
}

TEST(BonhostOptions, RefusesIncompleteOrUnknownInput) {
    BonhostOptions o;
    std::string error;
    EXPECT_FALSE(Parse({"pid", "--driver", "a.dll", "--space", "0", "--channel", "1",
                        "--out", "x.ts", "--add", "0x100"},
                       &o, &error));  // no --seconds
    EXPECT_NE(error.find("--seconds"), std::string::npos);
    EXPECT_FALSE(Parse({"record", "--driver", "a.dll", "--space", "0", "--channel", "1",
                        "--seconds", "abc", "--out", "x.ts"},
                       &o, &error));
    EXPECT_FALSE(Parse({"info"}, &o, &error));  // no driver
    EXPECT_FALSE(Parse({"info", "--driver"}, &o, &error));
    EXPECT_FALSE(Parse({"play"}, &o, &error));
    EXPECT_NE(error.find("play"), std::string::npos);
    EXPECT_FALSE(Parse({"tuners", "--bogus"}, &o, &error));
}

TEST(BonhostOptions, HelpAndTunersNeedNothingElse) {
    BonhostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, &o, &error));
    EXPECT_EQ(o.Command, BonhostCommand::Help);
    ASSERT_TRUE(Parse({"record", "--help"}, &o, &error));
    EXPECT_EQ(o.Command, BonhostCommand::Help);
    ASSERT_TRUE(Parse({"tuners"}, &o, &error));
    EXPECT_EQ(o.Command, BonhostCommand::Tuners);
}

TEST(BonhostOptions, IndexAndNameHelpers) {
    EXPECT_EQ(ParseIndex("0"), 0);
    EXPECT_EQ(ParseIndex("49"), 49);
    EXPECT_EQ(ParseIndex("13ch"), -1);
    EXPECT_EQ(ParseIndex(""), -1);
    EXPECT_EQ(ParseIndex("-1"), -1);
    EXPECT_TRUE(SameNameIgnoringCase("13CH", "13ch"));
    EXPECT_FALSE(SameNameIgnoringCase("13ch", "13c"));
}

TEST(BonhostOptions, ScanSelftestAndVersion) {
    BonhostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"scan", "--driver", "a.dll"}, &o, &error)) << error;
    EXPECT_EQ(o.Command, BonhostCommand::Scan);
    EXPECT_EQ(o.DwellMs, DefaultDwellMs);
    EXPECT_FALSE(o.Nit);
    ASSERT_TRUE(Parse({"scan", "--driver", "a.dll", "--space", "UFH", "--dwell", "400", "--json",
                       "c.json", "--write-channels", "my.channels.txt", "--nit"},
                      &o, &error))
        << error;
    EXPECT_TRUE(o.Nit);
    EXPECT_EQ(o.DwellMs, 400u);
    EXPECT_EQ(o.Json, "c.json");
    EXPECT_EQ(o.WriteChannels, "my.channels.txt");
    EXPECT_FALSE(Parse({"scan", "--driver", "a.dll", "--write-channels"}, &o, &error));
    for (const char* dwell : {"0", "-5", "1.5", "600001", "x"})
        EXPECT_FALSE(Parse({"scan", "--driver", "a.dll", "--dwell", dwell}, &o, &error)) << dwell;
    EXPECT_FALSE(Parse({"scan"}, &o, &error));  // no driver

    ASSERT_TRUE(Parse({"selftest", "--driver", "a.dll", "--report", "r.txt"}, &o, &error)) << error;
    EXPECT_EQ(o.Command, BonhostCommand::SelfTest);
    EXPECT_EQ(o.Report, "r.txt");
    EXPECT_FALSE(Parse({"selftest", "--driver", "a.dll", "--space", "0"}, &o, &error));
    // A report's stream is bounded, and the refusal names the bound.
    for (const char* seconds : {"1", "2.5", "300"}) {
        ASSERT_TRUE(Parse({"selftest", "--driver", "a.dll", "--report-dir", "r", "--report-seconds", seconds},
                          &o, &error))
            << seconds << ": " << error;
        EXPECT_DOUBLE_EQ(o.ReportSeconds, std::strtod(seconds, nullptr));
    }
    for (const char* seconds : {"301", "0.5", "0", "-3", "1e9", "inf", "x"}) {
        EXPECT_FALSE(Parse({"selftest", "--driver", "a.dll", "--report-dir", "r", "--report-seconds", seconds},
                           &o, &error))
            << seconds;
        EXPECT_NE(error.find("1 to 300"), std::string::npos) << error;
    }
    ASSERT_TRUE(Parse({"--version"}, &o, &error));
    EXPECT_EQ(o.Command, BonhostCommand::Version);
}

// What a tuner server runs: no --space, no --seconds, stdout; a placeholder
// the server left unfilled is refused by name, and the help shows the form.
TEST(BonhostOptions, RecordAsATunerCommand) {
    BonhostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"record", "--driver", "a.dll", "--channel", "27", "--out", "-"}, &o, &error))
        << error;
    EXPECT_EQ(o.Command, BonhostCommand::Record);
    EXPECT_EQ(o.Space, "");
    EXPECT_EQ(o.Channel, "27");
    EXPECT_EQ(o.Seconds, 0.0);
    EXPECT_EQ(o.Out, "-");
    for (const char* option : {"--channel", "--space", "--out", "--driver"}) {
        std::vector<std::string> args = {"record", "--driver", "a.dll", "--channel", "27", "--out", "-"};
        args.push_back(option);
        args.push_back(std::string("x<freq>"));
        EXPECT_FALSE(Parse(args, &o, &error)) << option;
        EXPECT_NE(error.find("placeholder"), std::string::npos) << option << ": " << error;
        EXPECT_EQ(o.Command, BonhostCommand::Record);  // so the failure is held for 1 s
    }
    EXPECT_FALSE(Parse({"record", "--driver", "a.dll", "--out", "-"}, &o, &error));  // no channel
    EXPECT_FALSE(Parse({"record", "--driver", "a.dll", "--channel", "27"}, &o, &error));  // no --out
    EXPECT_FALSE(Parse({"record", "--driver", "a.dll", "--channel", "27", "--out", "-", "--seconds", "0"},
                       &o, &error));
    // Scan's channels.yml for Mirakurun.
    ASSERT_TRUE(Parse({"scan", "--driver", "a.dll", "--write-mirakurun", "channels.yml"}, &o, &error));
    EXPECT_EQ(o.WriteMirakurun, "channels.yml");

    ASSERT_TRUE(Parse({"record", "--help"}, &o, &error));
    EXPECT_NE(o.HelpText.find("FILE|-"), std::string::npos) << o.HelpText;
    EXPECT_NE(o.HelpText.find("BS01_0"), std::string::npos) << o.HelpText;
    EXPECT_NE(BonhostUsage().find("bonhost record --driver PATH [--space S] --channel C [--seconds N]"),
              std::string::npos);
}
