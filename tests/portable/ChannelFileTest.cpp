// The channel file: what a valid file gives (spaces, order, tune requests,
// every encoding), where and why a broken one is refused, the limits, and the
// writer's round trip. Inputs are copied to buffers of their exact size, so
// the sanitizers see any read past a file's end.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "channels/ChannelFileParser.h"
#include "channels/ChannelFileWriter.h"
#include "channels/ChannelList.h"

namespace {

std::u16string Text(const WideChar* text) {
    std::u16string out;
    while (text != nullptr && *text != 0) out.push_back(static_cast<char16_t>(*text++));
    return out;
}

ChannelString Wide(const std::u16string& text) { return ChannelString(text.begin(), text.end()); }

std::vector<uint8_t> Utf16(const std::u16string& text, bool bigEndian) {
    std::vector<uint8_t> bytes = bigEndian ? std::vector<uint8_t>{0xFE, 0xFF}
                                           : std::vector<uint8_t>{0xFF, 0xFE};
    for (char16_t unit : text) {
        const uint8_t high = static_cast<uint8_t>(unit >> 8), low = static_cast<uint8_t>(unit);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

struct Parsed {
    bool Ok = false;
    ChannelList List;
    ChannelFileError Error;
};

Parsed ParseBytes(const std::vector<uint8_t>& bytes, Network network) {
    Parsed result;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + 1]);  // +1: never empty
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    result.List = ChannelList::BuiltIn(network);
    result.Ok = ChannelFileParser::Parse(exact.get(), bytes.size(), network, &result.List,
                                         &result.Error);
    return result;
}

Parsed Parse(const std::string& text, Network network) {
    return ParseBytes(std::vector<uint8_t>(text.begin(), text.end()), network);
}

std::vector<uint8_t> RequestBytes(const TuneRequest& request) {
    std::vector<uint8_t> bytes(sizeof request);
    std::memcpy(bytes.data(), &request, sizeof request);
    return bytes;
}

TuneRequest Expected(uint32_t systemType, uint32_t tsid, uint32_t frequency, uint32_t bandwidth) {
    TuneRequest request;
    std::memset(&request, 0, sizeof request);
    request.SystemType = systemType;
    request.Tsid = tsid;
    request.Tail = {frequency, 1000, bandwidth};
    return request;
}

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// n distinct UFH channels, one a line.
std::string UhfLines(size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += "UFH, ch" + std::to_string(i) + ", 473143\n";
    return out;
}

}  // namespace

TEST(ChannelFile, SpacesInOrderOfFirstAppearanceChannelsInFileOrder) {
    const Parsed parsed = Parse(
        "# my cable\n"
        "\n"
        "CATV , C13 Local,111143   # comment after a row\n"
        "\tUFH,27ch ,557143\n"
        "CATV, 地元 ケーブル, 93143\n"
        "UFH, 13ch, 473143 ## twice\n",
        Network::IsdbT);
    ASSERT_TRUE(parsed.Ok) << parsed.Error.Line << ": " << parsed.Error.Message;
    const ChannelList& list = parsed.List;
    ASSERT_EQ(list.SpaceCount(), 2u);
    EXPECT_EQ(Text(list.SpaceName(0)), u"CATV");
    EXPECT_EQ(Text(list.SpaceName(1)), u"UFH");
    EXPECT_EQ(list.SpaceName(2), nullptr);
    ASSERT_EQ(list.ChannelCount(0), 2u);
    ASSERT_EQ(list.ChannelCount(1), 2u);
    EXPECT_EQ(Text(list.Channel(0, 0)->Name), u"C13 Local");
    EXPECT_EQ(Text(list.Channel(0, 1)->Name), u"地元 ケーブル");
    EXPECT_EQ(list.Channel(0, 1)->Frequency, 93143u);
    EXPECT_EQ(Text(list.Channel(1, 0)->Name), u"27ch");
    EXPECT_EQ(Text(list.Channel(1, 1)->Name), u"13ch");
    EXPECT_EQ(list.Channel(1, 2), nullptr);
    EXPECT_EQ(list.Channel(2, 0), nullptr);
}

TEST(ChannelFile, RowsTuneLikeBuiltInRowsOfTheirSpace) {
    struct Case {
        Network Net;
        const char* File;
        TuneRequest Request;
    };
    const Case cases[] = {
        {Network::IsdbT, "UFH, a, 474000\n", Expected(0, 0xFFFFFFFF, 474000, 6)},
        {Network::IsdbT, "CATV, a, 90000\n", Expected(0, 0xFFFFFFFF, 90000, 6)},
        {Network::IsdbS, "BS, a, 11727480, 0x40f3\n", Expected(3, 0x40F3, 1049480, 9)},
        {Network::IsdbS, "CS110, a, 12750000, 0X7\n", Expected(4, 0x0007, 2072000, 9)},
    };
    for (const Case& c : cases) {
        const Parsed parsed = Parse(c.File, c.Net);
        ASSERT_TRUE(parsed.Ok) << c.File << parsed.Error.Message;
        TuneRequest request;
        std::memset(&request, 0xCC, sizeof request);
        ASSERT_TRUE(parsed.List.FillTuneRequest(0, 0, &request)) << c.File;
        EXPECT_EQ(RequestBytes(request), RequestBytes(c.Request)) << c.File;
        EXPECT_FALSE(parsed.List.FillTuneRequest(0, 1, &request)) << c.File;
    }
}

TEST(ChannelFile, EveryEncodingGivesTheSameList) {
    // U+20BB7 needs a surrogate pair in UTF-16 and four bytes in UTF-8.
    const std::u16string text = u"BS, BS朝日 \U00020BB7, 11727480, 0x4010\r\nCS110, ND2, 12291000, 0x6020";
    std::string utf8;
    for (const char* c = u8"BS, BS朝日 \U00020BB7, 11727480, 0x4010\r\nCS110, ND2, 12291000, 0x6020"; *c; ++c)
        utf8.push_back(*c);
    const std::vector<std::vector<uint8_t>> files = {
        std::vector<uint8_t>(utf8.begin(), utf8.end()),
        [&] {
            std::vector<uint8_t> bom = {0xEF, 0xBB, 0xBF};
            bom.insert(bom.end(), utf8.begin(), utf8.end());
            return bom;
        }(),
        Utf16(text, false),
        Utf16(text, true),
    };
    ChannelList reference(Network::IsdbS);
    std::string error;
    ASSERT_TRUE(reference.Add({Wide(u"BS"), Wide(u"BS朝日 \U00020BB7"), 11727480, true, 0x4010}, &error));
    ASSERT_TRUE(reference.Add({Wide(u"CS110"), Wide(u"ND2"), 12291000, true, 0x6020}, &error));
    for (size_t i = 0; i < files.size(); ++i) {
        const Parsed parsed = ParseBytes(files[i], Network::IsdbS);
        ASSERT_TRUE(parsed.Ok) << "encoding " << i << ": " << parsed.Error.Message;
        EXPECT_TRUE(parsed.List == reference) << "encoding " << i;
    }
}

TEST(ChannelFile, BrokenFilesNameTheLineAndTheFault) {
    struct Case {
        Network Net;
        std::vector<uint8_t> Bytes;
        uint32_t Line;
        const char* Message;  // a part of the message
    };
    auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    const std::string ok = "UFH, 13ch, 473143\r\n";
    const Case cases[] = {
        {Network::IsdbT, text(ok + "UHF, 14ch, 479143\n"), 2, "tuning space \"UHF\" is unknown; ISDBT's are UFH and CATV"},
        {Network::IsdbT, text(ok + "BS, x, 11727480, 0x4010\n"), 2, "\"BS\" is unknown"},
        {Network::IsdbS, text("# c\nUFH, 13ch, 473143\n"), 2, "ISDBS's are BS and CS110"},
        {Network::None, text(ok), 1, "NetworkName is neither ISDBT nor ISDBS"},
        {Network::IsdbT, text(ok + "UFH 14ch 479143\n"), 2, "too few fields"},
        {Network::IsdbT, text(ok + "UFH, 14ch\n"), 2, "too few fields"},
        {Network::IsdbT, text(ok + "UFH, 14,ch, 479143\n"), 2, "too many fields (a name cannot hold a comma)"},
        {Network::IsdbS, text("BS, BS,1, 11727480, 0x4010\n"), 1, "too many fields"},
        {Network::IsdbS, text("BS, a, 11727480, 0x4010, x, y, z\n"), 1, "too many fields"},
        {Network::IsdbT, text(ok + "UFH, 14ch, \n"), 2, "the frequency is missing"},
        {Network::IsdbT, text(ok + "UFH, 14ch, 479.143\n"), 2, "frequency \"479.143\" is not a whole number of kHz"},
        {Network::IsdbT, text(ok + "UFH, 14ch, -479143\n"), 2, "not a whole number"},
        {Network::IsdbT, text(ok + "UFH, 14ch, 99999999999999999999\n"), 2, "is too large"},
        {Network::IsdbT, text(ok + "UFH, 14ch, 469999\n"), 2, "frequency 469999 kHz is outside UFH (470000-770000 kHz)"},
        {Network::IsdbT, text(ok + "UFH, 14ch, 770001\n"), 2, "outside UFH"},
        {Network::IsdbT, text(ok + "CATV, C1, 89999\n"), 2, "outside CATV (90000-770000 kHz)"},
        {Network::IsdbS, text("BS, a, 12200001, 0x4010\n"), 1, "outside BS (11700000-12200000 kHz)"},
        {Network::IsdbS, text("CS110, a, 12199999, 0x6020\n"), 1, "outside CS110 (12200000-12750000 kHz)"},
        {Network::IsdbS, text("BS, a, 11727480\n"), 1, "BS channels need a TSID"},
        {Network::IsdbT, text(ok + "UFH, 14ch, 479143, 0x7000\n"), 2, "UFH channels take no TSID"},
        {Network::IsdbS, text("BS, a, 11727480, 16400\n"), 1, "TSID \"16400\" is not 0x and one to four hexadecimal"},
        {Network::IsdbS, text("BS, a, 11727480, 0x14010\n"), 1, "TSID \"0x14010\""},
        {Network::IsdbS, text("BS, a, 11727480, 0x40G0\n"), 1, "TSID \"0x40G0\""},
        {Network::IsdbS, text("BS, a, 11727480, 0x\n"), 1, "TSID \"0x\""},
        {Network::IsdbS, text("BS, a, 11727480,\n"), 1, "the TSID is missing"},
        {Network::IsdbT, text(ok + "UFH, , 479143\n"), 2, "the channel name is empty"},
        {Network::IsdbT, text(ok + "UFH, 13ch, 479143\n"), 2, "channel \"13ch\" is already listed in UFH"},
        {Network::IsdbT, text("UFH, a\x01" "b, 479143\n"), 1, "control character"},
        {Network::IsdbT, text("UFH, a\rb, 479143\n"), 1, "control character"},
        {Network::IsdbT, text(ok + "UFH, " + std::string(65, 'n') + ", 479143\n"), 2, "longer than 64 characters"},
        {Network::IsdbT, text(ok + "UFH, 14ch, 479143 " + std::string(1000, ' ') + "\n"), 2, "longer than 1000 characters"},
        {Network::IsdbT, text(""), 0, "the file lists no channels"},
        {Network::IsdbT, text("# nothing but comments\r\n\r\n   \n"), 0, "no channels"},
        {Network::IsdbT, text(ok + "UFH, \x83" "e\x83" "X\x83" "g, 479143\n"), 2, "not valid UTF-8"},  // Shift_JIS
        {Network::IsdbT, text(ok + "UFH, \xC0\xAF, 479143\n"), 2, "not valid UTF-8"},    // overlong '/'
        {Network::IsdbT, text(ok + "UFH, \xED\xA0\x80, 479143\n"), 2, "not valid UTF-8"}, // surrogate
        {Network::IsdbT, text(ok + "UFH, \xF4\x90\x80\x80, 4\n"), 2, "not valid UTF-8"},  // > U+10FFFF
        {Network::IsdbT, text(ok + "# cut \xE6\x97"), 2, "not valid UTF-8"},             // cut at the end
        {Network::IsdbT, text(std::string("U\0F\0H\0", 6)), 1, "a NUL byte"},
        {Network::IsdbT, Utf16(u"UFH, 13ch, 473143\n#\xD800\n", false), 2, "a surrogate without its pair"},
        {Network::IsdbT, Utf16(u"UFH, 13ch, 473143\n\xDC00", true), 2, "a surrogate without its pair"},
        {Network::IsdbT, [] { auto b = Utf16(u"UFH, 13ch, 473143\n#", false); b.pop_back(); return b; }(), 2,
         "ends inside a UTF-16 character"},
        {Network::IsdbT, text(UhfLines(1001)), 1001, "more than 1000 channels"},
        {Network::IsdbT, text(ok + Repeat("#" + std::string(998, 'c') + "\n", 1050)), 0,
         "larger than 1048576 bytes"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = ParseBytes(c.Bytes, c.Net);
        SCOPED_TRACE(c.Message);
        EXPECT_FALSE(parsed.Ok);
        EXPECT_EQ(parsed.Error.Line, c.Line);
        EXPECT_NE(parsed.Error.Message.find(c.Message), std::string::npos) << parsed.Error.Message;
        // Never a partial plan: the list the caller had is left as it was.
        EXPECT_TRUE(parsed.List == ChannelList::BuiltIn(c.Net));
    }
}

TEST(ChannelFile, LimitsAreReachedButNotPassed) {
    EXPECT_TRUE(Parse(UhfLines(1000), Network::IsdbT).Ok);
    EXPECT_TRUE(Parse("UFH, " + std::string(64, 'n') + ", 470000\nCATV, a, 770000", Network::IsdbT).Ok);
    // 1000 characters, three bytes each in UTF-8.
    EXPECT_TRUE(Parse("UFH, a, 473143 #" + Repeat("字", 984) + "\n", Network::IsdbT).Ok);
    EXPECT_FALSE(Parse("UFH, a, 473143 #" + Repeat("字", 985) + "\n", Network::IsdbT).Ok);
    std::string exact = "UFH, a, 473143\n";
    const std::string comment = "#" + std::string(998, 'c') + "\n";
    while (exact.size() + comment.size() <= ChannelFileParser::MaxFileBytes) exact += comment;
    exact += std::string(ChannelFileParser::MaxFileBytes - exact.size(), '#');
    EXPECT_TRUE(Parse(exact, Network::IsdbT).Ok);
    EXPECT_FALSE(Parse(exact + "#", Network::IsdbT).Ok);
}

TEST(ChannelFile, NothingPastTheGivenSizeIsRead) {
    const std::string text = "UFH, a, 473143\n\xFF";
    ChannelList list;
    ChannelFileError error;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    EXPECT_TRUE(ChannelFileParser::Parse(bytes, text.size() - 1, Network::IsdbT, &list, &error));
    EXPECT_FALSE(ChannelFileParser::Parse(bytes, text.size(), Network::IsdbT, &list, &error));
}

TEST(ChannelListBuiltIn, GivesTheBuiltInPlanAtTheSameAddresses) {
    for (Network network : {Network::None, Network::IsdbT, Network::IsdbS}) {
        const ChannelList list = ChannelList::BuiltIn(network);
        EXPECT_EQ(list.SpaceCount(), network == Network::None ? 0u : 2u);
        for (uint32_t space = 0; space < 3; ++space) {
            EXPECT_EQ(list.SpaceName(space), TuningSpaceName(network, space));
            ASSERT_EQ(list.ChannelCount(space), ChannelCount(network, space));
            for (uint32_t channel = 0; channel <= list.ChannelCount(space); ++channel) {
                EXPECT_EQ(list.Channel(space, channel), LookupChannel(network, space, channel));
                const ChannelRow* row = LookupChannel(network, space, channel);
                if (row == nullptr) continue;
                TuneRequest mine, theirs;
                ASSERT_TRUE(list.FillTuneRequest(space, channel, &mine));
                FillTuneRequest(network, space, *row, &theirs);
                EXPECT_EQ(RequestBytes(mine), RequestBytes(theirs));
            }
        }
    }
}

TEST(ChannelFileWriter, WritesTheFileSyntax) {
    ChannelList list(Network::IsdbS);
    std::string error;
    ASSERT_TRUE(list.Add({Wide(u"CS110"), Wide(u"ND4 ＣＳ"), 12331000, true, 0x7040}, &error));
    ASSERT_TRUE(list.Add({Wide(u"BS"), Wide(u"BS1"), 11727480, true, 0x4a}, &error));
    EXPECT_EQ(ChannelFileWriter::Write(list),
              "# tuning space, channel name, frequency in kHz, TSID\r\n"
              "CS110, ND4 \xEF\xBC\xA3\xEF\xBC\xB3, 12331000, 0x7040\r\n"
              "BS, BS1, 11727480, 0x004A\r\n");
}

TEST(ChannelFileWriter, BuiltInPlansRoundTrip) {
    for (Network network : {Network::IsdbT, Network::IsdbS}) {
        const ChannelList builtIn = ChannelList::BuiltIn(network);
        const Parsed parsed = Parse(ChannelFileWriter::Write(builtIn), network);
        ASSERT_TRUE(parsed.Ok) << parsed.Error.Line << ": " << parsed.Error.Message;
        EXPECT_TRUE(parsed.List == builtIn);
        EXPECT_EQ(parsed.List.TotalChannels(), network == Network::IsdbT ? 113u : 42u);
    }
}

TEST(ChannelList, NamesKeepTheirAddressWhenTheListMoves) {
    Parsed parsed = Parse(UhfLines(300), Network::IsdbT);
    ASSERT_TRUE(parsed.Ok);
    const WideChar* first = parsed.List.Channel(0, 0)->Name;
    const WideChar* last = parsed.List.Channel(0, 299)->Name;
    ChannelList moved = std::move(parsed.List);
    ChannelList assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.Channel(0, 0)->Name, first);
    EXPECT_EQ(assigned.Channel(0, 299)->Name, last);
    EXPECT_EQ(Text(last), u"ch299");
}

TEST(ChannelList, AddRefusesWhatAFileCouldNotCarry) {
    const std::u16string names[] = {u"a,b", u"a#b", u" a", u"a\t", u"a\x7F", u"a\xD800", u"\xDC00z"};
    for (const std::u16string& name : names) {
        ChannelList list(Network::IsdbT);
        std::string error;
        EXPECT_FALSE(list.Add({Wide(u"UFH"), Wide(name), 473143, false, 0}, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(list.SpaceCount(), 0u);
    }
    ChannelList builtIn = ChannelList::BuiltIn(Network::IsdbT);
    std::string error;
    EXPECT_FALSE(builtIn.Add({Wide(u"UFH"), Wide(u"new"), 473143, false, 0}, &error));
    EXPECT_EQ(builtIn.ChannelCount(0), 50u);
}

TEST(ChannelFileSample, ListsTheBuiltInChannelsAndOneMore) {
    std::ifstream file(BDA_SAMPLE_CHANNELS, std::ios::binary);
    ASSERT_TRUE(file.good()) << BDA_SAMPLE_CHANNELS;
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const Parsed parsed = Parse(text, Network::IsdbT);
    ASSERT_TRUE(parsed.Ok) << parsed.Error.Line << ": " << parsed.Error.Message;
    const ChannelList builtIn = ChannelList::BuiltIn(Network::IsdbT);
    ASSERT_EQ(parsed.List.SpaceCount(), 2u);
    for (uint32_t space = 0; space < 2; ++space) {
        ASSERT_EQ(Text(parsed.List.SpaceName(space)), Text(builtIn.SpaceName(space)));
        ASSERT_GE(parsed.List.ChannelCount(space), builtIn.ChannelCount(space));
        for (uint32_t channel = 0; channel < builtIn.ChannelCount(space); ++channel) {
            EXPECT_EQ(Text(parsed.List.Channel(space, channel)->Name),
                      Text(builtIn.Channel(space, channel)->Name));
            EXPECT_EQ(parsed.List.Channel(space, channel)->Frequency,
                      builtIn.Channel(space, channel)->Frequency);
        }
    }
    EXPECT_EQ(parsed.List.TotalChannels(), builtIn.TotalChannels() + 1);
    // Its commented satellite lines, un-commented, are the built-in ISDBS plan.
    std::istringstream lines(text);
    std::string line, satellite;
    while (std::getline(lines, line))
        if (line.rfind("# BS,", 0) == 0 || line.rfind("# CS110,", 0) == 0) satellite += line.substr(2) + "\n";
    const Parsed isdbs = Parse(satellite, Network::IsdbS);
    ASSERT_TRUE(isdbs.Ok) << isdbs.Error.Line << ": " << isdbs.Error.Message;
    EXPECT_TRUE(isdbs.List == ChannelList::BuiltIn(Network::IsdbS));
}
