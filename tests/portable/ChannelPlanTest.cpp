#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "channels/ChannelPlan.h"

namespace {

std::u16string Text(const WideChar* text) {
    std::u16string out;
    if (text == nullptr) return out;
    while (*text != 0) out.push_back(static_cast<char16_t>(*text++));
    return out;
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string TwoDigits(uint32_t n) { return std::string(1, char('0' + n / 10)) + char('0' + n % 10); }

// Expected cable frequency, computed from the band segments rather than read
// from the table.
uint32_t CatvFrequency(uint32_t n) {
    if (n <= 3) return 93143 + 6000 * (n - 1);
    if (n <= 7) return 173143 + 6000 * (n - 4);
    if (n <= 12) return 195143 + 6000 * (n - 8);
    if (n <= 21) return 111143 + 6000 * (n - 13);
    if (n == 22) return 167143;
    return 225143 + 6000 * (n - 23);
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

std::vector<uint8_t> Bytes(const TuneRequest& request) {
    std::vector<uint8_t> bytes(sizeof(request));
    std::memcpy(bytes.data(), &request, sizeof(request));
    return bytes;
}

TuneRequest Fill(Network network, uint32_t space, uint32_t channel) {
    const ChannelRow* row = LookupChannel(network, space, channel);
    TuneRequest request;
    std::memset(&request, 0xCC, sizeof(request));  // stale bytes must be cleared
    if (row != nullptr) FillTuneRequest(network, space, *row, &request);
    return request;
}

}  // namespace

TEST(ChannelPlanNetwork, OnlyExactNamesSelectANetwork) {
    EXPECT_EQ(NetworkFromName(WIDE("ISDBT")), Network::IsdbT);
    EXPECT_EQ(NetworkFromName(WIDE("ISDBS")), Network::IsdbS);
    EXPECT_EQ(NetworkFromName(WIDE("isdbt")), Network::None);
    EXPECT_EQ(NetworkFromName(WIDE("ISDBT1")), Network::None);
    EXPECT_EQ(NetworkFromName(WIDE("ISDB")), Network::None);
    EXPECT_EQ(NetworkFromName(WIDE("")), Network::None);
    EXPECT_EQ(NetworkFromName(nullptr), Network::None);
}

TEST(ChannelPlanNetwork, NameIsReadFromAFixedSixteenUnitBuffer) {
    WideChar buffer[16] = {};
    const char* name = "ISDBS";
    for (int i = 0; name[i] != 0; ++i) buffer[i] = static_cast<WideChar>(name[i]);
    EXPECT_EQ(NetworkFromName(buffer), Network::IsdbS);
}

TEST(ChannelPlanNetwork, NoNetworkHasNoSpacesOrChannels) {
    EXPECT_EQ(TuningSpaceName(Network::None, 0), nullptr);
    EXPECT_EQ(ChannelCount(Network::None, 0), 0u);
    EXPECT_EQ(LookupChannel(Network::None, 0, 0), nullptr);
    EXPECT_EQ(TuningSpaceName(NetworkFromName(WIDE("isdbs")), 0), nullptr);
}

TEST(ChannelPlanSpaces, NamesAndCounts) {
    EXPECT_EQ(Text(TuningSpaceName(Network::IsdbT, 0)), u"UFH");
    EXPECT_EQ(Text(TuningSpaceName(Network::IsdbT, 1)), u"CATV");
    EXPECT_EQ(TuningSpaceName(Network::IsdbT, 2), nullptr);
    EXPECT_EQ(Text(TuningSpaceName(Network::IsdbS, 0)), u"BS");
    EXPECT_EQ(Text(TuningSpaceName(Network::IsdbS, 1)), u"CS110");
    EXPECT_EQ(TuningSpaceName(Network::IsdbS, 2), nullptr);
    EXPECT_EQ(TuningSpaceName(Network::IsdbS, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(ChannelCount(Network::IsdbT, 0), 50u);
    EXPECT_EQ(ChannelCount(Network::IsdbT, 1), 63u);
    EXPECT_EQ(ChannelCount(Network::IsdbS, 0), 30u);
    EXPECT_EQ(ChannelCount(Network::IsdbS, 1), 12u);
    EXPECT_EQ(ChannelCount(Network::IsdbT, 2), 0u);
}

TEST(ChannelPlanSpaces, PointersStayTheSameAcrossCalls) {
    EXPECT_EQ(TuningSpaceName(Network::IsdbT, 0), TuningSpaceName(Network::IsdbT, 0));
    EXPECT_EQ(LookupChannel(Network::IsdbS, 1, 3), LookupChannel(Network::IsdbS, 1, 3));
}

TEST(ChannelPlanRows, UhfFollowsTheSixMegahertzRaster) {
    for (uint32_t i = 0; i < 50; ++i) {
        const ChannelRow* row = LookupChannel(Network::IsdbT, 0, i);
        ASSERT_NE(row, nullptr) << i;
        EXPECT_EQ(Text(row->Name), Ascii(std::to_string(i + 13) + "ch")) << i;
        EXPECT_EQ(row->Frequency, 473143 + 6000 * i) << i;
    }
    EXPECT_EQ(Text(LookupChannel(Network::IsdbT, 0, 49)->Name), u"62ch");
    EXPECT_EQ(LookupChannel(Network::IsdbT, 0, 50), nullptr);
}

TEST(ChannelPlanRows, CatvFollowsTheBandSegments) {
    for (uint32_t i = 0; i < 63; ++i) {
        const ChannelRow* row = LookupChannel(Network::IsdbT, 1, i);
        ASSERT_NE(row, nullptr) << i;
        EXPECT_EQ(Text(row->Name), Ascii("C" + TwoDigits(i + 1) + "ch")) << i;
        EXPECT_EQ(row->Frequency, CatvFrequency(i + 1)) << i;
    }
    EXPECT_EQ(Text(LookupChannel(Network::IsdbT, 1, 62)->Name), u"C63ch");
    EXPECT_EQ(LookupChannel(Network::IsdbT, 1, 63), nullptr);
}

TEST(ChannelPlanRows, CatvBandEdges) {
    EXPECT_EQ(LookupChannel(Network::IsdbT, 1, 7)->Frequency, 195143u);
    EXPECT_EQ(LookupChannel(Network::IsdbT, 1, 7)->Frequency - LookupChannel(Network::IsdbT, 1, 6)->Frequency,
              4000u);
    EXPECT_EQ(LookupChannel(Network::IsdbT, 1, 21)->Frequency -
                  LookupChannel(Network::IsdbT, 1, 20)->Frequency,
              8000u);
    // Channel order, not frequency order: C13 lies below C12.
    EXPECT_LT(LookupChannel(Network::IsdbT, 1, 12)->Frequency, LookupChannel(Network::IsdbT, 1, 11)->Frequency);
}

TEST(ChannelPlanRows, BsTransponderRasterAndNames) {
    for (uint32_t i = 0; i < 30; ++i) {
        const ChannelRow* row = LookupChannel(Network::IsdbS, 0, i);
        ASSERT_NE(row, nullptr) << i;
        // "BS<k>/TS<t>": the downlink follows from the transponder number.
        std::u16string name = Text(row->Name);
        ASSERT_EQ(name.substr(0, 2), u"BS") << i;
        size_t slash = name.find(u'/');
        ASSERT_NE(slash, std::u16string::npos) << i;
        uint32_t k = 0;
        for (size_t c = 2; c < slash; ++c) k = k * 10 + uint32_t(name[c] - u'0');
        EXPECT_EQ(row->Frequency, 11727480 + 19180 * (k - 1)) << i;
        EXPECT_EQ(name.substr(slash, 3), u"/TS") << i;
        EXPECT_EQ(row->Tsid >> 12, 4u) << i;  // every BS TSID is 0x4xxx
    }
    EXPECT_EQ(LookupChannel(Network::IsdbS, 0, 30), nullptr);
}

TEST(ChannelPlanRows, BsLiteralRows) {
    struct Expected {
        uint32_t Index;
        const char16_t* Name;
        uint32_t Frequency;
        uint16_t Tsid;
    };
    const Expected rows[] = {
        {0, u"BS1/TS0", 11727480, 0x4010},  {1, u"BS1/TS1", 11727480, 0x4011},
        {4, u"BS5/TS0", 11804200, 0x4450},  {7, u"BS7/TS1", 11842560, 0x4671},
        {8, u"BS7/TS2", 11842560, 0x4672},  {12, u"BS11/TS0", 11919280, 0x46B0},
        {17, u"BS15/TS0", 11996000, 0x40F1}, {18, u"BS15/TS1", 11996000, 0x40F2},
        {19, u"BS17/TS0", 12034360, 0x4310}, {23, u"BS19/TS2", 12072720, 0x4732},
        {26, u"BS21/TS2", 12111080, 0x4752}, {29, u"BS23/TS2", 12149440, 0x4772},
    };
    for (const Expected& e : rows) {
        const ChannelRow* row = LookupChannel(Network::IsdbS, 0, e.Index);
        ASSERT_NE(row, nullptr) << e.Index;
        EXPECT_EQ(Text(row->Name), e.Name) << e.Index;
        EXPECT_EQ(row->Frequency, e.Frequency) << e.Index;
        EXPECT_EQ(row->Tsid, e.Tsid) << e.Index;
    }
}

TEST(ChannelPlanRows, Cs110RasterAndLiteralRows) {
    for (uint32_t i = 0; i < 12; ++i) {
        const ChannelRow* row = LookupChannel(Network::IsdbS, 1, i);
        ASSERT_NE(row, nullptr) << i;
        const uint32_t nd = 2 + 2 * i;
        EXPECT_EQ(Text(row->Name), Ascii("ND" + std::to_string(nd))) << i;
        EXPECT_EQ(row->Frequency, 12291000 + 20000 * (nd - 2)) << i;
    }
    const uint16_t tsids[12] = {0x6020, 0x7040, 0x7060, 0x6080, 0x60A0, 0x70C0,
                                0x70E0, 0x7100, 0x7120, 0x7140, 0x7160, 0x7180};
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(LookupChannel(Network::IsdbS, 1, i)->Tsid, tsids[i]) << i;
    EXPECT_EQ(Text(LookupChannel(Network::IsdbS, 1, 11)->Name), u"ND24");
    EXPECT_EQ(LookupChannel(Network::IsdbS, 1, 12), nullptr);
}

TEST(ChannelPlanRows, OutOfRangeIndicesGiveNothing) {
    EXPECT_EQ(LookupChannel(Network::IsdbT, 0, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(LookupChannel(Network::IsdbS, 1, 0x80000000u), nullptr);
    EXPECT_EQ(LookupChannel(Network::IsdbT, 2, 0), nullptr);
    EXPECT_EQ(LookupChannel(Network::IsdbS, 0xFFFFFFFFu, 0), nullptr);
}

TEST(ChannelPlanTuneRequest, TerrestrialRecordBytes) {
    const std::vector<uint8_t> bytes = Bytes(Fill(Network::IsdbT, 0, 0));
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(Le32(bytes, 0), 0u);
    for (size_t i = 4; i < 48; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(Le32(bytes, 48), 0xFFFFFFFFu);
    EXPECT_EQ(Le32(bytes, 52), 473143u);
    EXPECT_EQ(Le32(bytes, 56), 1000u);
    EXPECT_EQ(Le32(bytes, 60), 6u);
}

TEST(ChannelPlanTuneRequest, CableUsesTheRowFrequency) {
    const TuneRequest request = Fill(Network::IsdbT, 1, 21);
    EXPECT_EQ(request.SystemType, 0u);
    EXPECT_EQ(request.Tsid, 0xFFFFFFFFu);
    EXPECT_EQ(request.Tail.Frequency, 167143u);
    EXPECT_EQ(request.Tail.Bandwidth, 6u);
}

TEST(ChannelPlanTuneRequest, SatelliteRecordsCarryIntermediateFrequencyAndTsid) {
    const std::vector<uint8_t> bs = Bytes(Fill(Network::IsdbS, 0, 0));
    EXPECT_EQ(Le32(bs, 0), 3u);
    for (size_t i = 4; i < 48; ++i) EXPECT_EQ(bs[i], 0) << i;
    EXPECT_EQ(Le32(bs, 48), 0x4010u);
    EXPECT_EQ(Le32(bs, 52), 1049480u);
    EXPECT_EQ(Le32(bs, 56), 1000u);
    EXPECT_EQ(Le32(bs, 60), 9u);

    const std::vector<uint8_t> cs = Bytes(Fill(Network::IsdbS, 1, 11));
    EXPECT_EQ(Le32(cs, 0), 4u);
    for (size_t i = 4; i < 48; ++i) EXPECT_EQ(cs[i], 0) << i;
    EXPECT_EQ(Le32(cs, 48), 0x7180u);
    EXPECT_EQ(Le32(cs, 52), 2053000u);
    EXPECT_EQ(Le32(cs, 56), 1000u);
    EXPECT_EQ(Le32(cs, 60), 9u);
}

TEST(ChannelPlanTuneRequest, EverySatelliteRowSubtractsTheLocalOscillator) {
    for (uint32_t space = 0; space < 2; ++space) {
        for (uint32_t i = 0; i < ChannelCount(Network::IsdbS, space); ++i) {
            const ChannelRow* row = LookupChannel(Network::IsdbS, space, i);
            const TuneRequest request = Fill(Network::IsdbS, space, i);
            EXPECT_EQ(request.Tail.Frequency, row->Frequency - 10678000u) << space << "/" << i;
            EXPECT_EQ(request.Tsid, uint32_t(row->Tsid)) << space << "/" << i;
            EXPECT_EQ(request.SystemType, space == 0 ? 3u : 4u) << space << "/" << i;
        }
    }
}
