// The one line a device call becomes in a trace and in the simulator's log.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/DeviceCallText.h"

TEST(DeviceCallText, LinesRoundTripAndOddLinesAreRefused) {
    DeviceCall call;
    call.TimeMs = 1234;
    call.Operation = "TransmitCardCommand";
    const uint8_t command[] = {0x90, 0x30, 0x00, 0x00, 0x00};
    call.In = {DeviceCallItem::Of(command, sizeof command), DeviceCallItem::Of(512)};
    call.Result = static_cast<int32_t>(0x8007048Fu);
    call.Out = {DeviceCallItem::HiddenOf({0x00, 0x03, 0x11, 0x90, 0x00}, 2),
                DeviceCallItem::Of(nullptr, 0)};
    const std::string line = DeviceCallText::Format(call);
    const uint8_t answer[] = {0x00, 0x03, 0x11, 0x90, 0x00};
    char digest[9];
    std::snprintf(digest, sizeof digest, "%08x", DeviceCallText::Digest(answer, sizeof answer));
    EXPECT_EQ(line, std::string("1234 TransmitCardCommand in=x9030000000,512 hr=0x8007048f out=@5:") +
                        digest + ":9000,x");
    DeviceCall parsed;
    ASSERT_TRUE(DeviceCallText::Parse(line + "\r\n", &parsed));
    EXPECT_EQ(parsed.TimeMs, 1234u);
    EXPECT_EQ(parsed.Operation, "TransmitCardCommand");
    EXPECT_EQ(parsed.Result, call.Result);
    EXPECT_TRUE(parsed.In == call.In);
    EXPECT_TRUE(parsed.Out == call.Out);
    ASSERT_TRUE(DeviceCallText::Parse("7 ResetCard in= hr=0x00000000 out=", &parsed));
    EXPECT_TRUE(parsed.In.empty() && parsed.Out.empty());

    for (const char* odd : {"", "12", "x SetTunerMode in=3 hr=0x00000000 out=",
                            "1 SetTunerMode in=3 hr=0x0000000 out=", "1 SetTunerMode in=3 out=",
                            "1 SetTunerMode in=3,,4 hr=0x00000000 out=",
                            "1 SetTunerMode in=xabc hr=0x00000000 out=",
                            "1 SetTunerMode in=@5:1234567 hr=0x00000000 out=",
                            "1 SetTunerMode in=99999999999999999999999 hr=0x00000000 out=",
                            "1 SetTunerMode in=3 hr=0x00000000 out= extra"})
        EXPECT_FALSE(DeviceCallText::Parse(odd, &parsed)) << odd;
}
