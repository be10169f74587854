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
    const uint8_t answer[] = {0x00, 0x03, 0x11, 0x90, 0x00};
    const KeyedDigest key(0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull);
    call.Out = {DeviceCallItem::HiddenOf(answer, sizeof answer, 2, &key), DeviceCallItem::Of(nullptr, 0)};
    const std::string line = DeviceCallText::Format(call);
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx",
                  static_cast<unsigned long long>(key.Of(answer, sizeof answer)));
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
                            "1 SetTunerMode in=@5:123456789 hr=0x00000000 out=",
                            // A length no device call has, or a kept tail longer than it.
                            "1 TransmitCardCommand in=@3000000000:0123456789abcdef hr=0x00000000 out=",
                            "1 TransmitCardCommand in=@65537:0123456789abcdef hr=0x00000000 out=",
                            "1 TransmitCardCommand in=@1:0123456789abcdef:9000 hr=0x00000000 out=",
                            "1 SetTunerMode in=99999999999999999999999 hr=0x00000000 out=",
                            "1 SetTunerMode in=3 hr=0x00000000 out= extra"})
        EXPECT_FALSE(DeviceCallText::Parse(odd, &parsed)) << odd;
}

// The digest of card bytes is SipHash-2-4 (its authors' test vectors), so a
// report's digests can be checked by anyone who holds the key, and by nobody
// else; the 8-digit digests of earlier traces still read.
TEST(DeviceCallText, HiddenBytesCarryAKeyedDigestAndEarlierDigestsStillRead) {
    const KeyedDigest key(0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull);
    uint8_t message[64];
    for (uint8_t i = 0; i < sizeof message; ++i) message[i] = i;
    EXPECT_EQ(key.Of(message, 0), 0x726fdb47dd0e0e31ull);
    EXPECT_EQ(key.Of(message, 7), 0xab0200f58b01d137ull);
    EXPECT_EQ(key.Of(message, 8), 0x93f5f5799a932462ull);
    EXPECT_EQ(key.Of(message, 15), 0xa129ca6149be45e5ull);
    EXPECT_EQ(key.Of(message, 63), 0x958a324ceb064572ull);
    EXPECT_NE(KeyedDigest(1, 2).Of(message, 15), key.Of(message, 15));

    const DeviceCallItem hidden = DeviceCallItem::HiddenOf(message, 15, 0, &key);
    EXPECT_EQ(hidden.HiddenLength, 15u);
    EXPECT_EQ(hidden.HiddenDigest, 0xa129ca6149be45e5ull);
    EXPECT_TRUE(hidden.Bytes.empty());
    EXPECT_EQ(DeviceCallItem::HiddenOf(message, 15, 0, nullptr).HiddenDigest, 0u) << "no key, no digest";

    DeviceCall parsed;
    ASSERT_TRUE(DeviceCallText::Parse("5 TransmitCardCommand in=@5:01abcdef,512 hr=0x00000000 out=@6:"
                                      "fedcba9876543210:9000",
                                      &parsed));
    EXPECT_EQ(parsed.In[0].HiddenDigest, 0x01abcdefull);
    EXPECT_EQ(parsed.Out[0].HiddenDigest, 0xfedcba9876543210ull);
    EXPECT_EQ(parsed.Out[0].Bytes, (std::vector<uint8_t>{0x90, 0x00}));
    EXPECT_EQ(DeviceCallText::Format(parsed),
              "5 TransmitCardCommand in=@5:0000000001abcdef,512 hr=0x00000000 out=@6:fedcba9876543210:9000");
}
