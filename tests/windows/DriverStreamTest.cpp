// TS delivery: chunk sizes, byte-exact content (through the generator's
// counters), the drop rule with a stalled reader, purge, wait results and
// the copy form of GetTsStream.
#include <vector>

#include "ts/TsStreamChecker.h"
#include "tests/windows/DriverHarness.h"

using DriverStream = DriverHarness;

namespace {
constexpr DWORD ChunkBytes = 192512;
}

TEST_F(DriverStream, ChunksAreWholeAndTheStreamIsUnbroken) {
    // Sizes off the packet grid, but none below one packet: the writer hands
    // shorter samples to nobody, which would break the stream.
    Device()->SetSampleSizes({188 * 7, 250, 188 * 300 + 37, 188});
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    TsStreamChecker checker;
    int chunks = 0;
    for (int round = 0; round < 400 && chunks < 20; ++round) {
        driver->WaitTsStream(100);
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        while (driver->GetTsStream(&data, &size, &remaining)) {
            ASSERT_EQ(size, ChunkBytes);
            checker.Feed(data, size);
            ++chunks;
        }
    }
    ASSERT_GE(chunks, 20);
    EXPECT_EQ(checker.SyncLosses(), 0u);
    EXPECT_EQ(checker.CcErrors(), 0u);
    EXPECT_GT(checker.CounterPackets(), 0u);
    EXPECT_EQ(checker.CounterGaps(), 0u);
    EXPECT_EQ(checker.CounterDuplicates(), 0u);
    EXPECT_EQ(checker.CounterReorders(), 0u);
    EXPECT_EQ(checker.IndexRegressions(), 0u);
}

TEST_F(DriverStream, SamplesShorterThanOnePacketNeverReachTheQueue) {
    Device()->SetSampleSizes({187});
    Device()->SetBitRate(0);
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    // Three chunks' worth went through the writer: had any of it been
    // queued, at least two chunks would be complete.
    ASSERT_TRUE(WaitUntil([&] { return Device()->State().TsBytesDelivered > 3 * ChunkBytes; },
                          20000));
    EXPECT_EQ(driver->GetReadyCount(), 0u);
    Device()->SetSampleSizes({188});
    EXPECT_TRUE(WaitUntil([&] { return driver->GetReadyCount() > 0; }, 20000));
}

TEST_F(DriverStream, StalledReaderKeepsAtMost512Chunks) {
    Device()->SetBitRate(0);
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() >= 512; }, 60000));
    const uint64_t before = Device()->State().TsBytesDelivered;
    ASSERT_TRUE(WaitUntil([&] { return Device()->State().TsBytesDelivered > before + 4 * ChunkBytes; },
                          10000));
    EXPECT_EQ(driver->GetReadyCount(), 512u);  // oldest dropped, never more
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    driver->CloseTuner();  // nothing arrives while the queue is read
    EXPECT_EQ(driver->GetReadyCount(), 0u);
    EXPECT_FALSE(driver->GetTsStream(&data, &size, &remaining));
    EXPECT_EQ(data, nullptr);
}

TEST_F(DriverStream, PurgeEmptiesTheQueueButKeepsTheHeldChunk) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() >= 2; }, 10000));
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    ASSERT_TRUE(driver->GetTsStream(&data, &size, &remaining));
    std::vector<BYTE> copy(data, data + size);
    driver->PurgeTsStream();
    EXPECT_EQ(driver->GetReadyCount(), 0u);
    EXPECT_EQ(std::vector<BYTE>(data, data + size), copy);  // still readable
}

TEST_F(DriverStream, WaitOnAClosedTunerIsAbandonedAtOnceEvenWithoutLimit) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->WaitTsStream(0), DWORD{WAIT_ABANDONED});
}

TEST_F(DriverStream, WaitTimesOutWhileNoTsArrives) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->WaitTsStream(50), DWORD{WAIT_TIMEOUT});  // no channel, no TS
}

TEST_F(DriverStream, WaitWithoutLimitReturnsWithTheFirstChunk) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    EXPECT_EQ(driver->WaitTsStream(0), DWORD{WAIT_OBJECT_0});
    EXPECT_EQ(driver->WaitTsStream(5000), DWORD{WAIT_OBJECT_0});
}

TEST_F(DriverStream, CopyFormWithoutDestinationTakesNothing) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() >= 2; }, 10000));
    DWORD size = 77, remaining = 77;
    const DWORD ready = driver->GetReadyCount();
    EXPECT_FALSE(driver->GetTsStream(static_cast<BYTE*>(nullptr), &size, &remaining));
    EXPECT_GE(driver->GetReadyCount(), ready);  // nothing was handed out
}

TEST_F(DriverStream, CopyFormCopiesOneWholeChunkAndNothingPastIt) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() >= 1; }, 10000));
    DWORD size = 77, remaining = 77;
    std::vector<BYTE> buffer(ChunkBytes + 16, 0xAB);
    ASSERT_TRUE(driver->GetTsStream(buffer.data(), &size, &remaining));
    EXPECT_EQ(size, ChunkBytes);
    EXPECT_EQ(buffer[0], 0x47);
    EXPECT_EQ(buffer[ChunkBytes], 0xAB);  // nothing past the chunk
    TsStreamChecker checker;
    checker.Feed(buffer.data(), size);
    EXPECT_EQ(checker.SyncLosses(), 0u);
}
