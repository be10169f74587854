// The channels.yml a scan gives Mirakurun: one mixed scan of every kind of
// row, the whole file compared, and what was left out said.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/bonhost/MirakurunChannelFile.h"

namespace {

ScanRow Row(const char* space, const char* channel, bool locked,
            std::vector<std::pair<ScanService, std::string>> services = {}) {
    ScanRow row;
    row.SpaceName = space;
    row.ChannelName = channel;
    row.Tuned = true;
    row.Locked = locked;
    for (const auto& service : services) {
        row.ServiceDetails.push_back(service.first);
        row.Services.push_back(service.second);
    }
    return row;
}

constexpr uint8_t Tv = 0x01, Data = 0xC0, TvAlso = 0xAD;

}  // namespace

TEST(MirakurunChannelFile, OneEntryPerTerrestrialChannelAndPerSatelliteService) {
    const std::vector<ScanRow> rows = {
        Row("UFH", "27ch", true, {{{0x0400, Tv}, "地デジ試験 27ch"}, {{0x0401, Tv}, "second"}}),
        Row("UFH", "26ch", false),
        Row("UFH", "16ch", true, {{{0x0588, Data}, "data first"}, {{0x0580, Tv}, "  Sixteen "}}),
        Row("UFH", "Local 27", true, {{{0x0400, Tv}, "from a channel file"}}),
        Row("CATV", "C13ch", true),  // no SDT within the dwell
        Row("CATV", "C05ch", true, {{{0x0400, Tv}, "below C13"}}),
        Row("BS", "BS1/TS0", true,
            {{{101, Tv}, "ＢＳ試験 BS1/TS0"}, {{700, Data}, "data"}, {{102, TvAlso}, ""}}),
        Row("BS", "BS3/TS1", true, {{{707, Data}, "only data"}}),
        Row("BS", "BS5/TS0", false, {{{151, Tv}, "not locked"}}),
        Row("CS110", "ND2", true, {{{55, Tv}, "say \"hi\" \\ \x01 bad\xFF\xC2\x85 end"}}),
    };
    std::vector<std::string> leftOut;
    EXPECT_EQ(
        "# Mirakurun's channels.yml, written by bonhost scan from the channels that locked\n"
        "- name: \"地デジ試験 27ch\"\n  type: GR\n  channel: \"27\"\n"
        "- name: \"Sixteen\"\n  type: GR\n  channel: \"16\"\n"
        "- name: \"GRC13\"\n  type: GR\n  channel: \"C13\"\n"
        "- name: \"ＢＳ試験 BS1/TS0\"\n  type: BS\n  channel: \"BS01_0\"\n  serviceId: 101\n"
        "- name: \"BSBS01_0:102\"\n  type: BS\n  channel: \"BS01_0\"\n  serviceId: 102\n"
        "- name: \"say \\\"hi\\\" \\\\ \\u0001 bad\xEF\xBF\xBD\\u0085 end\"\n  type: CS\n"
        "  channel: \"CS2\"\n  serviceId: 55\n",
        MirakurunChannelFile::Yaml(rows, &leftOut));
    EXPECT_EQ((std::vector<std::string>{
                  "UFH Local 27 left out: no tuner-server name stands for it",
                  "CATV C05ch left out: no tuner-server name stands for it",
                  "BS BS3/TS1 left out: its SDT named no TV service",
              }),
              leftOut);

    // Nothing locked that has a name: no file at all, and each row said.
    leftOut.clear();
    EXPECT_EQ("", MirakurunChannelFile::Yaml({rows[1], rows[3], rows[7]}, &leftOut));
    EXPECT_EQ(2u, leftOut.size());
}
