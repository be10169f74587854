// Tuner-server channel names against the built-in plan: every row that has
// one maps there and back, the forms users write are read, near misses are
// not, and a command's unfilled placeholder is told apart from a name.
#include <gtest/gtest.h>

#include <string>

#include "channels/ChannelPlan.h"
#include "channels/TunerServerName.h"

namespace {

std::string Narrow(const WideChar* text) {
    std::string out;
    for (; *text != 0; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

std::string RowOf(const std::string& name) {
    TunerServerChannel channel;
    if (!TunerServerName::ToRow(name, &channel)) return "-";
    return channel.Type + " " + channel.Name + " " + channel.Space + " " + channel.Channel;
}

}  // namespace

TEST(TunerServerName, EveryBuiltInRowWithANameMapsThereAndBack) {
    int named = 0, unnamed = 0;
    for (Network network : {Network::IsdbT, Network::IsdbS}) {
        for (uint32_t space = 0; space < 2; ++space) {
            const std::string spaceName = Narrow(TuningSpaceName(network, space));
            for (uint32_t index = 0; index < ChannelCount(network, space); ++index) {
                const std::string row = Narrow(LookupChannel(network, space, index)->Name);
                SCOPED_TRACE(spaceName + " " + row);
                TunerServerChannel channel;
                if (!TunerServerName::FromRow(spaceName, row, &channel)) {
                    ++unnamed;
                    EXPECT_EQ("CATV", spaceName);  // only cable's C01ch-C12ch have none
                    EXPECT_LT(index, 12u);
                    continue;
                }
                ++named;
                EXPECT_EQ(spaceName, channel.Space);
                EXPECT_EQ(row, channel.Channel);
                TunerServerChannel back;
                ASSERT_TRUE(TunerServerName::ToRow(channel.Name, &back)) << channel.Name;
                EXPECT_EQ(channel.Type, back.Type);
                EXPECT_EQ(channel.Name, back.Name);
                EXPECT_EQ(spaceName, back.Space);
                EXPECT_EQ(row, back.Channel);
            }
        }
    }
    EXPECT_EQ(50 + 51 + 30 + 12, named);
    EXPECT_EQ(12, unnamed);
}

TEST(TunerServerName, ReadsTheFormsUsersWriteAndNothingNearThem) {
    EXPECT_EQ("GR 13 UFH 13ch", RowOf("13"));
    EXPECT_EQ("GR 62 UFH 62ch", RowOf("62"));
    EXPECT_EQ("GR C13 CATV C13ch", RowOf("C13"));
    EXPECT_EQ("GR C63 CATV C63ch", RowOf("c63"));
    EXPECT_EQ("BS BS01_0 BS BS1/TS0", RowOf("BS01_0"));
    EXPECT_EQ("BS BS15_1 BS BS15/TS1", RowOf("bs15_1"));
    EXPECT_EQ("CS CS2 CS110 ND2", RowOf("CS2"));
    EXPECT_EQ("CS CS24 CS110 ND24", RowOf("cs24"));
    // Rows the built-in plan lacks still map (a channel file may have them);
    // whether the driver lists them is the caller's look-up.
    EXPECT_EQ("BS BS25_9 BS BS25/TS9", RowOf("BS25_9"));
    for (const char* name : {"12", "63", "013", "1", "C12", "C64", "C013", "BS1_0", "BS01-0",
                             "BS00_0", "BS01_", "BS01_10", "CS02", "CS", "CS100", "ND2", "13ch",
                             "BS1/TS0", "", "<channel>", " 13", "13 "})
        EXPECT_EQ("-", RowOf(name)) << '"' << name << '"';
    // A row is named only in its own space, and only in its plain form.
    TunerServerChannel channel;
    EXPECT_FALSE(TunerServerName::FromRow("CATV", "13ch", &channel));
    EXPECT_FALSE(TunerServerName::FromRow("UFH", "C13ch", &channel));
    EXPECT_FALSE(TunerServerName::FromRow("BS", "BS01/TS0", &channel));
    EXPECT_FALSE(TunerServerName::FromRow("BS", "BS1/TS10", &channel));
    EXPECT_FALSE(TunerServerName::FromRow("CS110", "ND02", &channel));
    EXPECT_FALSE(TunerServerName::FromRow("UFH", "My local 27", &channel));
    EXPECT_FALSE(TunerServerName::FromRow("ufh", "27ch", &channel));
}

TEST(TunerServerName, AnUnfilledPlaceholderIsNoName) {
    for (const char* text : {"<freq>", "<polarity>", "x<satellite>y", "<Space>"})
        EXPECT_TRUE(TunerServerName::HoldsPlaceholder(text)) << text;
    for (const char* text : {"27", "", "<>", "<1>", "a<b", "b>a", "<freq", "< freq>"})
        EXPECT_FALSE(TunerServerName::HoldsPlaceholder(text)) << text;
}
