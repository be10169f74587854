// Single-threaded behaviour of TsChunkQueue: chunk forming, the bound, Clear
// and Configure, and what Push does when an allocation fails. The global
// operator new is replaced in this program so a test can make the n-th
// allocation from now fail. Clang's thread sanitizer links its own operator
// new that cannot be replaced; there the out-of-memory tests are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "driver/TsChunkQueue.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BDA_FIXED_OPERATOR_NEW 1
#endif
#endif

namespace {

// 0: off; n > 0: the n-th allocation from now throws (or returns null).
std::atomic<int> g_allocationsUntilFailure{0};

}  // namespace

#ifndef BDA_FIXED_OPERATOR_NEW
namespace {

bool FailThisAllocation() {
    int n = g_allocationsUntilFailure.load(std::memory_order_relaxed);
    if (n <= 0) return false;
    g_allocationsUntilFailure.store(n - 1, std::memory_order_relaxed);
    return n == 1;
}

void* Allocate(std::size_t size) {
    if (FailThisAllocation()) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

void* AllocateOrThrow(std::size_t size) {
    void* p = Allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

constexpr uint32_t kChunk = 192512;
constexpr uint32_t kMax = 512;

// Byte at stream position p; 251 is prime, so a shift by any multiple of 256
// (or by anything short of 251) shows up.
uint8_t PatternByte(uint64_t p) { return static_cast<uint8_t>(p % 251); }

constexpr size_t kLongestRun = 400000;

// Stream bytes [start, start + length) for length up to kLongestRun; the
// pattern repeats every 251 bytes, so one buffer serves every start.
const uint8_t* StreamAt(uint64_t start) {
    static const std::vector<uint8_t> pattern = [] {
        std::vector<uint8_t> bytes(kLongestRun + 251);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = PatternByte(i);
        return bytes;
    }();
    return pattern.data() + start % 251;
}

std::vector<uint8_t> Stream(uint64_t start, size_t length) {
    return std::vector<uint8_t>(StreamAt(start), StreamAt(start) + length);
}

bool PushStream(TsChunkQueue& queue, uint64_t start, uint32_t length) {
    return queue.Push(StreamAt(start), length);
}

struct ChunkDeleter {
    void operator()(TsChunk* chunk) const { FreeTsChunk(chunk); }
};
using ChunkPtr = std::unique_ptr<TsChunk, ChunkDeleter>;

ChunkPtr PopChunk(TsChunkQueue& queue) { return ChunkPtr(queue.Pop()); }

// The chunk is exactly the stream bytes [start, start + length).
::testing::AssertionResult Holds(const ChunkPtr& chunk, uint64_t start, uint32_t length) {
    if (!chunk) return ::testing::AssertionFailure() << "no chunk";
    if (chunk->Length != length)
        return ::testing::AssertionFailure() << "length " << chunk->Length << ", expected " << length;
    const uint8_t* expected = StreamAt(start);
    if (std::memcmp(chunk->Data, expected, length) == 0) return ::testing::AssertionSuccess();
    uint32_t i = 0;
    while (chunk->Data[i] == expected[i]) ++i;
    return ::testing::AssertionFailure() << "byte " << i << " is " << int(chunk->Data[i])
                                         << ", expected stream position " << start + i;
}

}  // namespace

// ---- forming chunks ----------------------------------------------------

TEST(TsChunkQueueForming, LargeSampleMakesWholeChunksAndKeepsTheRest) {
    TsChunkQueue queue;
    queue.Configure(kChunk, kMax);
    EXPECT_TRUE(PushStream(queue, 0, 400000));
    EXPECT_EQ(queue.GetCount(), 2u);
    EXPECT_EQ(queue.AccumulatedBytes(), 14976u);
    EXPECT_TRUE(Holds(PopChunk(queue), 0, kChunk));
    EXPECT_TRUE(Holds(PopChunk(queue), kChunk, kChunk));
    EXPECT_FALSE(PopChunk(queue));
}

TEST(TsChunkQueueForming, ExactChunkLeavesNothingBehind) {
    TsChunkQueue queue;
    queue.Configure(kChunk, kMax);
    EXPECT_TRUE(PushStream(queue, 0, kChunk));
    EXPECT_EQ(queue.GetCount(), 1u);
    EXPECT_EQ(queue.AccumulatedBytes(), 0u);
    EXPECT_TRUE(Holds(PopChunk(queue), 0, kChunk));
}

TEST(TsChunkQueueForming, SampleAcrossTheBoundaryFinishesOneChunkAndStartsTheNext) {
    TsChunkQueue queue;
    queue.Configure(kChunk, kMax);
    EXPECT_FALSE(PushStream(queue, 0, 191000));
    EXPECT_EQ(queue.GetCount(), 0u);
    EXPECT_TRUE(PushStream(queue, 191000, 3000));
    EXPECT_EQ(queue.GetCount(), 1u);
    EXPECT_EQ(queue.AccumulatedBytes(), 1488u);
    EXPECT_TRUE(Holds(PopChunk(queue), 0, kChunk));
    // The 1488 carried bytes lead the next chunk.
    EXPECT_TRUE(PushStream(queue, 194000, kChunk - 1488));
    EXPECT_TRUE(Holds(PopChunk(queue), kChunk, kChunk));
}

TEST(TsChunkQueueForming, PacketSizedSamplesFillChunksInOrder) {
    TsChunkQueue queue;
    queue.Configure(kChunk, kMax);
    const uint32_t packets = 3 * 1024 + 5;
    std::vector<uint8_t> all(size_t(packets) * 188);
    for (size_t i = 0; i < all.size(); ++i) all[i] = PatternByte(i);
    uint32_t appendedCalls = 0;
    for (uint32_t i = 0; i < packets; ++i)
        if (queue.Push(all.data() + size_t(i) * 188, 188)) ++appendedCalls;
    EXPECT_EQ(appendedCalls, 3u);
    EXPECT_EQ(queue.AccumulatedBytes(), 5u * 188);
    for (uint64_t k = 0; k < 3; ++k) EXPECT_TRUE(Holds(PopChunk(queue), k * kChunk, kChunk)) << k;
    EXPECT_FALSE(PopChunk(queue));
}

TEST(TsChunkQueueForming, ChunkSizeZeroMakesEachBlockAChunkOfItsOwnSize) {
    TsChunkQueue queue;
    queue.Configure(0, 8);
    EXPECT_TRUE(PushStream(queue, 0, 10));
    EXPECT_TRUE(PushStream(queue, 10, 1));
    EXPECT_TRUE(PushStream(queue, 11, 300000));
    EXPECT_EQ(queue.AccumulatedBytes(), 0u);
    EXPECT_TRUE(Holds(PopChunk(queue), 0, 10));
    EXPECT_TRUE(Holds(PopChunk(queue), 10, 1));
    EXPECT_TRUE(Holds(PopChunk(queue), 11, 300000));
}

// ---- the bound ---------------------------------------------------------

TEST(TsChunkQueueBound, ChunkBeyondTheMaximumDropsTheOldest) {
    TsChunkQueue queue;
    queue.Configure(kChunk, kMax);
    for (uint64_t k = 0; k <= kMax; ++k) PushStream(queue, k * kChunk, kChunk);
    EXPECT_EQ(queue.GetCount(), kMax);
    // The first chunk produced is gone; the rest come out in order.
    for (uint64_t k = 1; k <= kMax; ++k) {
        ChunkPtr chunk = PopChunk(queue);
        ASSERT_TRUE(Holds(chunk, k * kChunk, kChunk)) << k;
    }
    EXPECT_FALSE(PopChunk(queue));
    EXPECT_EQ(queue.GetCount(), 0u);
}

TEST(TsChunkQueueBound, OneLargeSampleKeepsOnlyTheNewestChunks) {
    TsChunkQueue queue;
    queue.Configure(100, 3);
    EXPECT_TRUE(PushStream(queue, 0, 1050));
    EXPECT_EQ(queue.GetCount(), 3u);
    EXPECT_EQ(queue.AccumulatedBytes(), 50u);
    for (uint64_t k = 7; k < 10; ++k) EXPECT_TRUE(Holds(PopChunk(queue), k * 100, 100)) << k;
}

TEST(TsChunkQueueBound, ChunkSizeZeroAndMaximumOneKeepsTheNewestBlock) {
    TsChunkQueue queue;
    queue.Configure(0, 1);
    EXPECT_TRUE(PushStream(queue, 0, 500));
    EXPECT_TRUE(PushStream(queue, 500, 70));
    EXPECT_TRUE(PushStream(queue, 570, 1234));
    EXPECT_EQ(queue.GetCount(), 1u);
    EXPECT_TRUE(Holds(PopChunk(queue), 570, 1234));
    EXPECT_FALSE(PopChunk(queue));
}

TEST(TsChunkQueueBound, MaximumZeroKeepsOneChunk) {
    TsChunkQueue queue;
    queue.Configure(64, 0);
    EXPECT_TRUE(PushStream(queue, 0, 64 * 5 + 10));
    EXPECT_EQ(queue.GetCount(), 1u);
    EXPECT_TRUE(Holds(PopChunk(queue), 64 * 4, 64));
    EXPECT_FALSE(PopChunk(queue));
    EXPECT_TRUE(PushStream(queue, 330, 54));
    EXPECT_TRUE(Holds(PopChunk(queue), 64 * 5, 64));
}

TEST(TsChunkQueueBound, UnconfiguredQueueKeepsTheNewestBlock) {
    TsChunkQueue queue;  // chunk size 0, maximum 0
    EXPECT_EQ(queue.ChunkSize(), 0u);
    EXPECT_EQ(queue.MaxChunks(), 0u);
    EXPECT_TRUE(PushStream(queue, 0, 20));
    EXPECT_TRUE(PushStream(queue, 20, 30));
    EXPECT_EQ(queue.GetCount(), 1u);
    EXPECT_TRUE(Holds(PopChunk(queue), 20, 30));
}

// ---- Pop, Clear, Configure ---------------------------------------------

TEST(TsChunkQueueControl, EmptyQueueGivesNoChunk) {
    TsChunkQueue queue;
    EXPECT_EQ(queue.Pop(), nullptr);
    queue.Configure(kChunk, kMax);
    PushStream(queue, 0, 1000);
    EXPECT_EQ(queue.Pop(), nullptr);  // a partial chunk is not popped
    EXPECT_EQ(queue.GetCount(), 0u);
}

TEST(TsChunkQueueControl, PushOfNothingChangesNothing) {
    TsChunkQueue queue;
    queue.Configure(100, 4);
    PushStream(queue, 0, 99);
    uint8_t byte = 0;
    EXPECT_FALSE(queue.Push(&byte, 0));
    EXPECT_FALSE(queue.Push(nullptr, 0));
    EXPECT_EQ(queue.AccumulatedBytes(), 99u);
    EXPECT_EQ(queue.GetCount(), 0u);

    queue.Configure(0, 4);
    EXPECT_FALSE(queue.Push(&byte, 0));
    EXPECT_EQ(queue.GetCount(), 0u);
}

TEST(TsChunkQueueControl, ClearDiscardsThePartialChunk) {
    TsChunkQueue queue;
    queue.Configure(kChunk, kMax);
    PushStream(queue, 0, kChunk + 5000);
    queue.Clear();
    EXPECT_EQ(queue.GetCount(), 0u);
    EXPECT_EQ(queue.AccumulatedBytes(), 0u);
    EXPECT_EQ(queue.Pop(), nullptr);
    EXPECT_EQ(queue.ChunkSize(), kChunk);
    EXPECT_EQ(queue.MaxChunks(), kMax);
    // The next chunk holds only what was pushed after Clear, from a packet
    // that fits in the discarded chunk's room on.
    EXPECT_FALSE(PushStream(queue, 1000000, 188));
    EXPECT_EQ(queue.AccumulatedBytes(), 188u);
    EXPECT_TRUE(PushStream(queue, 1000188, kChunk - 188));
    EXPECT_TRUE(Holds(PopChunk(queue), 1000000, kChunk));
}

TEST(TsChunkQueueControl, ConfigureStartsAfresh) {
    TsChunkQueue queue;
    queue.Configure(100, 4);
    PushStream(queue, 0, 250);
    queue.Configure(40, 2);
    EXPECT_EQ(queue.GetCount(), 0u);
    EXPECT_EQ(queue.AccumulatedBytes(), 0u);
    EXPECT_EQ(queue.ChunkSize(), 40u);
    EXPECT_EQ(queue.MaxChunks(), 2u);
    EXPECT_TRUE(PushStream(queue, 500, 100));
    EXPECT_EQ(queue.AccumulatedBytes(), 20u);
    EXPECT_TRUE(Holds(PopChunk(queue), 500, 40));
    EXPECT_TRUE(Holds(PopChunk(queue), 540, 40));
}

TEST(TsChunkQueueControl, DestructionFreesQueuedAndPartialChunks) {
    // Leaks would show under the address sanitizer.
    TsChunkQueue queue;
    queue.Configure(100, 4);
    PushStream(queue, 0, 450);
    EXPECT_EQ(queue.GetCount(), 4u);
}

// ---- recycled chunks -----------------------------------------------------

TEST(TsChunkQueueRecycling, RecycledBufferCarriesALaterChunkWithItsOwnBytes) {
    TsChunkQueue queue;
    queue.Configure(64, 4);
    PushStream(queue, 0, 64);
    TsChunk* first = queue.Pop();
    ASSERT_NE(first, nullptr);
    const uint8_t* recycled = first->Data;
    queue.Recycle(first);
    // The buffer filling now was allocated before the recycle; the one after
    // it is the recycled buffer, and it must hold only the new bytes.
    PushStream(queue, 64, 128);
    ChunkPtr second = PopChunk(queue);
    ChunkPtr third = PopChunk(queue);
    EXPECT_TRUE(Holds(second, 64, 64));
    EXPECT_TRUE(Holds(third, 128, 64));
    EXPECT_EQ(third->Data, recycled);
}

TEST(TsChunkQueueRecycling, ForeignSizesAndNullAreFreedOrIgnored) {
    // Leaks or double frees would show under the address sanitizer.
    TsChunkQueue queue;
    queue.Configure(64, 8);
    queue.Recycle(nullptr);
    queue.Recycle(new TsChunk{new uint8_t[10], 10});
    PushStream(queue, 0, 64 * 40);
    while (TsChunk* chunk = queue.Pop()) queue.Recycle(chunk);
    queue.Configure(32, 2);  // the kept 64-byte buffers go with the old size
    EXPECT_TRUE(PushStream(queue, 0, 32));
    EXPECT_TRUE(Holds(PopChunk(queue), 0, 32));
}

TEST(TsChunkQueueRecycling, EvictedChunksFeedTheNextOnes) {
    // A stalled reader: the drop rule recycles the oldest chunk's buffer, and
    // the bytes still come out in order.
    TsChunkQueue queue;
    queue.Configure(50, 3);
    PushStream(queue, 0, 50 * 20);
    for (uint64_t k = 17; k < 20; ++k) EXPECT_TRUE(Holds(PopChunk(queue), k * 50, 50)) << k;
}

// ---- allocation failure ------------------------------------------------

namespace {

struct FailureArmed {
    explicit FailureArmed(int nth) { g_allocationsUntilFailure.store(nth); }
    ~FailureArmed() { g_allocationsUntilFailure.store(0); }
};

}  // namespace

#ifdef BDA_FIXED_OPERATOR_NEW
#define SKIP_WITHOUT_FAILING_NEW() GTEST_SKIP() << "operator new is the sanitizer's"
#else
#define SKIP_WITHOUT_FAILING_NEW() (void)0
#endif

TEST(TsChunkQueueOutOfMemory, FailedAllocationLosesThatChunkOnly) {
    SKIP_WITHOUT_FAILING_NEW();
    // A new chunk takes two allocations (buffer, record); each one failing in turn.
    for (int nth = 1; nth <= 2; ++nth) {
        SCOPED_TRACE(nth);
        TsChunkQueue queue;
        queue.Configure(64, 2);
        PushStream(queue, 0, 128);
        std::vector<uint8_t> lost = Stream(1000, 64);
        {
            FailureArmed armed(nth);
            EXPECT_FALSE(queue.Push(lost.data(), 64));
            EXPECT_EQ(g_allocationsUntilFailure.load(), 0) << "the failing allocation was not made";
        }
        // The queued chunks are untouched and the queue goes on working.
        EXPECT_EQ(queue.GetCount(), 2u);
        EXPECT_EQ(queue.AccumulatedBytes(), 0u);
        EXPECT_TRUE(PushStream(queue, 2000, 64 + 7));
        EXPECT_TRUE(Holds(PopChunk(queue), 64, 64));
        EXPECT_TRUE(Holds(PopChunk(queue), 2000, 64));
        EXPECT_EQ(queue.AccumulatedBytes(), 7u);
    }
}

TEST(TsChunkQueueOutOfMemory, FailedAllocationWithoutAccumulationLosesTheBlock) {
    SKIP_WITHOUT_FAILING_NEW();
    for (int nth = 1; nth <= 2; ++nth) {
        SCOPED_TRACE(nth);
        TsChunkQueue queue;
        queue.Configure(0, 2);
        PushStream(queue, 0, 10);
        std::vector<uint8_t> lost = Stream(1000, 33);
        {
            FailureArmed armed(nth);
            EXPECT_FALSE(queue.Push(lost.data(), 33));
        }
        EXPECT_EQ(queue.GetCount(), 1u);
        EXPECT_TRUE(PushStream(queue, 2000, 5));
        EXPECT_TRUE(Holds(PopChunk(queue), 0, 10));
        EXPECT_TRUE(Holds(PopChunk(queue), 2000, 5));
    }
}

TEST(TsChunkQueueOutOfMemory, TwoAllocationsMakeAChunk) {
    SKIP_WITHOUT_FAILING_NEW();
    TsChunkQueue queue;
    queue.Configure(64, 2);
    std::vector<uint8_t> bytes = Stream(0, 64);
    bool appended = false;
    {
        FailureArmed armed(3);
        appended = queue.Push(bytes.data(), 64);
    }
    EXPECT_TRUE(appended);
    EXPECT_TRUE(Holds(PopChunk(queue), 0, 64));
}

TEST(TsChunkQueueOutOfMemory, ReleasedBuffersAreMadeAgainAndAFailureLosesOneChunk) {
    SKIP_WITHOUT_FAILING_NEW();
    TsChunkQueue queue;
    queue.Configure(64, 4);
    PushStream(queue, 0, 64 * 3 + 10);
    while (TsChunk* chunk = queue.Pop()) queue.Recycle(chunk);
    queue.Clear();
    queue.ReleaseBuffers();
    EXPECT_EQ(queue.AccumulatedBytes(), 0u);
    {
        // Neither the filling buffer nor a spare is left: the first chunk
        // after the release needs an allocation, and this one fails.
        FailureArmed armed(1);
        EXPECT_FALSE(PushStream(queue, 1000, 64));
        EXPECT_EQ(g_allocationsUntilFailure.load(), 0) << "a released buffer was used";
    }
    EXPECT_EQ(queue.GetCount(), 0u);
    EXPECT_TRUE(PushStream(queue, 2000, 64 + 7));
    EXPECT_TRUE(Holds(PopChunk(queue), 2000, 64));
    EXPECT_FALSE(PopChunk(queue));
    EXPECT_EQ(queue.AccumulatedBytes(), 7u);
}

// ---- short of memory: two tuners, one stalled reader -----------------------

namespace {

// Chunk buffers out of a fixed budget, as a 32-bit host with several tuners
// near the end of its address space sees them; counts what is out.
class BudgetSource final : public ChunkBufferSource {
public:
    explicit BudgetSource(size_t budget) : left_(budget) {}
    uint8_t* Allocate(size_t bytes) noexcept override {
        if (bytes > left_) {
            ++refused_;
            return nullptr;
        }
        uint8_t* data = ChunkMemory::Allocate(bytes);
        if (data != nullptr) left_ -= bytes, out_ += bytes, ++made_;
        return data;
    }
    void Free(uint8_t* data, size_t bytes) noexcept override {
        if (data == nullptr) return;
        ChunkMemory::Free(data, bytes);
        left_ += bytes;
        out_ -= bytes;
    }
    size_t Out() const { return out_; }
    size_t Refused() const { return refused_; }
    size_t Made() const { return made_; }

private:
    size_t left_;
    size_t out_ = 0;
    size_t refused_ = 0;
    size_t made_ = 0;
};

// Time as the test moves it.
class ManualClock final : public MonotonicClock {
public:
    uint64_t NowMs() noexcept override { return now_; }
    void Advance(uint64_t ms) { now_ += ms; }

private:
    uint64_t now_ = 1000;
};

// Pops every chunk, checking each is a whole chunk of the stream at or after
// *next (those skipped were lost whole), hands it back and counts them.
struct Drained {
    size_t Chunks = 0;
    size_t Lost = 0;
    bool Whole = true;
};
Drained Drain(TsChunkQueue& queue, uint32_t chunk, uint64_t* next, uint64_t end) {
    Drained drained;
    while (TsChunk* popped = queue.Pop()) {
        uint64_t start = *next;
        while (start < end && std::memcmp(popped->Data, StreamAt(start), chunk) != 0)
            start += chunk;
        drained.Whole = drained.Whole && popped->Length == chunk && start < end;
        drained.Lost += (start - *next) / chunk;
        *next = start + chunk;
        ++drained.Chunks;
        queue.Recycle(popped);
    }
    return drained;
}

}  // namespace

// A stalled reader on tuner A fills its queue until the buffers run out; A
// loses whole chunks and nothing else, tuner B beside it loses nothing; once
// A's reader caught up and its spares stayed idle, A keeps only a few and
// streams again.
TEST(TsChunkQueueOutOfMemory, ShortOfMemoryTheStalledTunerDropsAndTheOtherStreams) {
    constexpr uint32_t chunk = 188 * 8;
    constexpr uint32_t budgetChunks = 24;
    BudgetSource budget(size_t{budgetChunks} * chunk);
    ManualClock clock;
    TsChunkQueue a(budget, clock), b(budget, clock);
    a.Configure(chunk, 64);
    b.Configure(chunk, 64);
    uint64_t nextA = 0, nextB = 0;
    Drained readB;
    const uint64_t stalledEnd = 60ull * chunk;
    for (uint64_t at = 0; at < stalledEnd; at += chunk) {
        a.Push(StreamAt(at), chunk);  // A's reader is stalled
        b.Push(StreamAt(at), chunk);
        const Drained got = Drain(b, chunk, &nextB, stalledEnd);
        readB.Chunks += got.Chunks;
        readB.Lost += got.Lost;
        readB.Whole = readB.Whole && got.Whole;
    }
    EXPECT_EQ(readB.Chunks, 60u);
    EXPECT_EQ(readB.Lost, 0u);
    EXPECT_TRUE(readB.Whole);
    EXPECT_GT(budget.Refused(), 0u) << "the budget never ran out";
    const uint32_t heldByA = a.GetCount();
    EXPECT_LT(heldByA, budgetChunks);

    // What A held comes out whole and in order; what it could not hold was
    // the newest chunks, lost whole.
    const Drained caughtUp = Drain(a, chunk, &nextA, stalledEnd);
    EXPECT_EQ(caughtUp.Chunks, heldByA);
    EXPECT_EQ(caughtUp.Lost, 0u);
    EXPECT_EQ(nextA, uint64_t{heldByA} * chunk);
    EXPECT_TRUE(caughtUp.Whole);
    // What A caught up on stays as spares while they may be wanted again;
    // the window of the stall ends with none idle, the next one with all of
    // them, and those go back over a few calls.
    EXPECT_GT(a.SpareCount(), TsChunkQueue::KeptSpares);
    clock.Advance(TsChunkQueue::IdleSpareMs);
    a.Recycle(nullptr);
    clock.Advance(TsChunkQueue::IdleSpareMs);
    for (int call = 0; call < 4; ++call) a.Recycle(nullptr);
    EXPECT_LE(a.SpareCount(), TsChunkQueue::KeptSpares);
    // A: its filling chunk and its spares; B: the same at most.
    EXPECT_LE(budget.Out(), size_t{2 * (TsChunkQueue::KeptSpares + 1)} * chunk);

    // With memory back, A streams again and loses nothing more.
    const uint64_t resumedEnd = stalledEnd + 40ull * chunk;
    nextA = stalledEnd;
    size_t resumed = 0;
    for (uint64_t at = stalledEnd; at < resumedEnd; at += chunk) {
        a.Push(StreamAt(at), chunk);
        const Drained got = Drain(a, chunk, &nextA, resumedEnd);
        EXPECT_TRUE(got.Whole && got.Lost == 0 && got.Chunks == 1) << "at chunk " << at / chunk;
        resumed += got.Chunks;
    }
    EXPECT_EQ(resumed, 40u);
}

// ---- spares over time ------------------------------------------------------

// A reader that falls behind by bursts and catches up: the chunks it caught
// up on are kept for the next burst, so a stream of bursts makes no fresh
// buffer after the first (fresh pages are what a slow queue pays for); once
// a whole window passes with spares untouched, they go back, at most a
// batch per call, down to the few kept for good.
TEST(TsChunkQueueRecycling, SparesFollowTheRecentHighWaterAndIdleOnesGoBackAFewAtATime) {
    constexpr uint32_t chunk = 188 * 4;
    constexpr uint32_t burst = 48;  // well beyond KeptSpares
    BudgetSource memory(size_t{1} << 30);
    ManualClock clock;
    TsChunkQueue queue(memory, clock);
    queue.Configure(chunk, 64);
    uint64_t at = 0, next = 0;
    size_t madeAfterFirstBurst = 0;
    for (int round = 0; round < 6; ++round) {
        for (uint32_t i = 0; i < burst; ++i, at += chunk) PushStream(queue, at, chunk);
        const Drained got = Drain(queue, chunk, &next, at);
        ASSERT_TRUE(got.Whole && got.Lost == 0 && got.Chunks == burst) << "round " << round;
        if (round == 0) madeAfterFirstBurst = memory.Made();
        clock.Advance(TsChunkQueue::IdleSpareMs / 4);
    }
    EXPECT_EQ(memory.Made(), madeAfterFirstBurst) << "the later bursts made fresh buffers";
    EXPECT_GE(queue.SpareCount(), burst - 1);

    // The bursts stop; a trickle goes on, one chunk in and out at a time,
    // while the clock passes two whole windows.
    const uint32_t highWater = queue.SpareCount();
    uint32_t fewestAfterACall = highWater;
    size_t largestGiveBack = 0;
    for (int step = 0; step < 40; ++step, at += chunk) {
        const size_t before = memory.Out();
        PushStream(queue, at, chunk);
        const Drained got = Drain(queue, chunk, &next, at + chunk);  // Recycle once
        ASSERT_TRUE(got.Whole && got.Lost == 0 && got.Chunks == 1) << "step " << step;
        largestGiveBack = std::max(largestGiveBack, (before - memory.Out()) / chunk);
        fewestAfterACall = std::min(fewestAfterACall, queue.SpareCount());
        clock.Advance(TsChunkQueue::IdleSpareMs / 8);
    }
    EXPECT_LE(largestGiveBack, size_t{TsChunkQueue::GiveBackBatch});
    EXPECT_GT(largestGiveBack, 0u) << "nothing went back";
    // One spare stays in rotation with the trickle, beside those kept for good.
    EXPECT_LE(queue.SpareCount(), TsChunkQueue::KeptSpares + 1);
    EXPECT_GE(queue.SpareCount(), TsChunkQueue::KeptSpares);
    EXPECT_EQ(memory.Out(), size_t{queue.SpareCount() + 1} * chunk) << "the spares and the chunk filling";
    EXPECT_LT(fewestAfterACall, highWater);

    // A stream that stops altogether gives its idle spares back to a host
    // that only polls (GetTsStream with nothing queued).
    for (int poll = 0; poll < 3; ++poll, clock.Advance(TsChunkQueue::IdleSpareMs)) queue.Recycle(nullptr);
    EXPECT_EQ(queue.SpareCount(), TsChunkQueue::KeptSpares);
}
