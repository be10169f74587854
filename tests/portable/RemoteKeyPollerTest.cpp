#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "remote/KeyCommandTable.h"
#include "remote/RemoteKeyPoller.h"

namespace {

const std::pair<uint8_t, uint8_t> MappedKeys[] = {
    {179, 140}, {240, 140}, {183, 139}, {238, 139}, {187, 226},
    {236, 226}, {191, 225}, {242, 225}, {213, 141}, {231, 150},
};

// Plays the device: fills the holders the way the tuner does, then reports.
struct Reading {
    HRESULT Result;
    uint32_t CustomCode;
    uint8_t Key;
};

class RemoteKeyPollerDecision : public ::testing::Test {
protected:
    // Returns the command that would be sent, or -1 when nothing is sent.
    int Read(const Reading& reading) {
        *poller_.CustomCodeHolder() = reading.CustomCode;
        *poller_.KeyCodeHolder() = reading.Key;
        uint8_t command = 0;
        return poller_.Decide(reading.Result, &command) ? command : -1;
    }
    int Key(uint8_t key) { return Read({S_OK, 0x2010, key}); }

    RemoteKeyPoller poller_;
};

}  // namespace

TEST(KeyCommandTable, MapsEachKnownKey) {
    for (const auto& pair : MappedKeys) {
        uint8_t command = 0;
        EXPECT_TRUE(LookupKeyCommand(pair.first, &command)) << int(pair.first);
        EXPECT_EQ(command, pair.second) << int(pair.first);
    }
}

TEST(KeyCommandTable, EveryOtherKeyIsOutside) {
    int mapped = 0;
    for (int key = 0; key < 256; ++key) {
        uint8_t command = 0x5A;
        if (LookupKeyCommand(static_cast<uint8_t>(key), &command)) {
            ++mapped;
        } else {
            EXPECT_EQ(command, 0x5A) << key;  // untouched on a miss
        }
    }
    EXPECT_EQ(mapped, 10);
}

TEST_F(RemoteKeyPollerDecision, StartsWithNothingCarried) {
    EXPECT_EQ(*poller_.CustomCodeHolder(), 0xFFFFu);
    EXPECT_EQ(*poller_.KeyCodeHolder(), 0xFF);
    EXPECT_EQ(poller_.LastCommand(), RemoteKeyPoller::NoCommand);
    // Untouched holders are not our remote: nothing to send.
    uint8_t command = 0;
    EXPECT_FALSE(poller_.Decide(S_OK, &command));
}

TEST_F(RemoteKeyPollerDecision, EachMappedKeySendsItsCommand) {
    for (const auto& pair : MappedKeys) EXPECT_EQ(Key(pair.first), pair.second) << int(pair.first);
}

TEST_F(RemoteKeyPollerDecision, UnmappedKeyIsSilentBeforeTheFirstCommand) {
    EXPECT_EQ(Key(0x00), -1);
    EXPECT_EQ(Key(0xFF), -1);
    EXPECT_EQ(poller_.LastCommand(), RemoteKeyPoller::NoCommand);
}

TEST_F(RemoteKeyPollerDecision, UnmappedKeyRepeatsTheLastCommand) {
    EXPECT_EQ(Key(213), 141);
    EXPECT_EQ(Key(0x00), 141);
    EXPECT_EQ(Key(0x00), 141);
    EXPECT_EQ(Key(231), 150);
    EXPECT_EQ(Key(0x42), 150);
}

TEST_F(RemoteKeyPollerDecision, OtherRemotesChangeNothing) {
    EXPECT_EQ(Key(213), 141);
    EXPECT_EQ(Read({S_OK, 0x2011, 179}), -1);
    EXPECT_EQ(poller_.LastCommand(), 141);
    EXPECT_EQ(Key(0x00), 141);  // still repeats the command from before
}

TEST_F(RemoteKeyPollerDecision, OnlySOkCountsAsARead) {
    EXPECT_EQ(Read({S_FALSE, 0x2010, 179}), -1);
    EXPECT_EQ(Read({E_FAIL, 0x2010, 179}), -1);
    EXPECT_EQ(poller_.LastCommand(), RemoteKeyPoller::NoCommand);
    // The failed reads scribbled the holders; the next good read without a
    // fresh key sees those values, carried over.
    uint8_t command = 0;
    EXPECT_TRUE(poller_.Decide(S_OK, &command));
    EXPECT_EQ(command, 140);
}

TEST_F(RemoteKeyPollerDecision, HighHalfOfTheCustomCodeIsIgnored) {
    EXPECT_EQ(Read({S_OK, 0xABCD2010u, 183}), 139);
    EXPECT_EQ(Read({S_OK, 0x20100000u, 183}), -1);
}

namespace {

// A key source that plays back scripted readings.
class FakeRemote : public RemoteKeySource {
public:
    std::vector<Reading> Readings;
    std::vector<uint32_t> Selectors;

    HRESULT ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key) override {
        Selectors.push_back(selector);
        if (Readings.empty()) return S_FALSE;
        Reading next = Readings.front();
        Readings.erase(Readings.begin());
        *code = next.CustomCode;
        *key = next.Key;
        return next.Result;
    }
};

}  // namespace

TEST(RemoteKeyPollerPoll, ReadsWithSelectorThreeIntoTheHolders) {
    FakeRemote device;
    device.Readings = {{S_OK, 0x2010, 187}, {S_OK, 0x2010, 0x00}, {S_FALSE, 0x2010, 242}, {S_OK, 0x1234, 242}};
    RemoteKeyPoller poller;
    uint8_t command = 0;
    EXPECT_TRUE(poller.Poll(device, &command));
    EXPECT_EQ(command, 226);
    command = 0;
    EXPECT_TRUE(poller.Poll(device, &command));
    EXPECT_EQ(command, 226);
    EXPECT_FALSE(poller.Poll(device, &command));
    EXPECT_EQ(*poller.KeyCodeHolder(), 242);  // written even though the read reported no key
    EXPECT_FALSE(poller.Poll(device, &command));
    EXPECT_EQ(poller.LastCommand(), 226);
    EXPECT_EQ(device.Selectors, (std::vector<uint32_t>{3, 3, 3, 3}));
}
