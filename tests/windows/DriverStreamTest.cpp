// TS delivery: chunk sizes, byte-exact content (through the generator's
// counters), the drop rule with a stalled reader, purge, wait results, the
// remaining count and the copy form of GetTsStream.
#include <atomic>
#include <thread>
#include <utility>
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

// Hosts drain by the remaining count without waiting, so it must be exact in
// both forms. The stream is held (samples shorter than a packet never reach
// the queue) so that nothing arrives while the queue is read.
TEST_F(DriverStream, RemainingCountIsExactAsChunksAreTaken) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(WaitUntil([&] { return driver->GetReadyCount() >= 5; }, 20000));
    Device()->SetSampleSizes({187});
    DWORD ready = driver->GetReadyCount();
    ASSERT_TRUE(WaitUntil(
        [&] {
            Sleep(200);
            const DWORD now = driver->GetReadyCount();
            return std::exchange(ready, now) == now;
        },
        10000));
    std::vector<BYTE> buffer(ChunkBytes);
    for (DWORD taken = 1; taken <= ready; ++taken) {
        DWORD size = 0, remaining = 77;
        BYTE* data = nullptr;
        const BOOL got = taken % 2 != 0 ? driver->GetTsStream(&data, &size, &remaining)
                                        : driver->GetTsStream(buffer.data(), &size, &remaining);
        ASSERT_TRUE(got) << "chunk " << taken;
        EXPECT_EQ(remaining, ready - taken) << "chunk " << taken;
        EXPECT_EQ(driver->GetReadyCount(), ready - taken);
    }
    DWORD size = 77, remaining = 77;
    BYTE* data = nullptr;
    EXPECT_FALSE(driver->GetTsStream(&data, &size, &remaining));
    EXPECT_EQ(remaining, 0u);
}

// The stream event is signalled for every completed chunk: a waiting reader
// wakes for the first one, not a chunk period later. At 1 Mbit/s a chunk
// takes 1.5 s, so a reader woken late would find two.
TEST_F(DriverStream, AWaitingReaderWakesForTheFirstChunk) {
    Device()->SetBitRate(1000000);
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    for (DWORD expected = 1; expected <= 2; ++expected) {
        ASSERT_EQ(driver->WaitTsStream(10000), DWORD{WAIT_OBJECT_0});
        EXPECT_EQ(driver->GetReadyCount(), expected);
    }
}

// A reader inside WaitTsStream, even without a time limit, returns as soon as
// another thread closes the tuner or releases the driver, and the wait never
// outlives the handles it waits on.
TEST_F(DriverStream, AReaderWaitingWithoutLimitReturnsWhenTheTunerCloses) {
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "Release" : "CloseTuner");
        IBonDriver2* driver = OpenDefault();  // no channel: no chunk will come
        ASSERT_NE(driver, nullptr);
        std::atomic<DWORD> result{0xDEAD};
        std::thread reader([&] { result = driver->WaitTsStream(0); });
        Sleep(300);  // the reader is inside the wait
        EXPECT_EQ(result.load(), 0xDEADu);
        if (release) {
            driver_->Release();
            driver_ = nullptr;
        } else {
            driver->CloseTuner();
        }
        const bool returned = WaitUntil([&] { return result.load() != 0xDEADu; }, 5000);
        if (!returned) {
            reader.detach();  // blocked for good: the case has failed
            FAIL() << "the reader is still waiting 5 s after the tuner closed";
        }
        reader.join();
        EXPECT_EQ(result.load(), DWORD{WAIT_ABANDONED});
        if (!release) {
            EXPECT_EQ(driver->WaitTsStream(0), DWORD{WAIT_ABANDONED});
        }
        ReleaseDriver();
    }
}
