// TsChunkQueue with a producer, a consumer and an observer (or a purger) on
// their own threads. The producer pushes a stream of 32-bit counters, so the
// first whole word of any chunk tells where in the stream it starts; every
// chunk must then be the exact stream bytes from there on, in increasing
// order, with only whole chunks missing (or, around a purge, purged bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/TsChunkQueue.h"

namespace {

std::vector<uint8_t> CounterStream(size_t length) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        const uint32_t word = static_cast<uint32_t>(i / 4);
        bytes[i] = static_cast<uint8_t>(word >> (8 * (i % 4)));
    }
    return bytes;
}

// Sample sizes: under one packet, packet multiples and over one chunk.
std::vector<uint32_t> SampleSizes(size_t total, uint32_t chunkSize, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> sizes;
    size_t sum = 0;
    while (sum < total) {
        uint32_t size = 0;
        switch (random() % 3) {
            case 0: size = 1 + random() % 187; break;
            case 1: size = 188 * (1 + random() % 512); break;
            default: size = chunkSize + random() % (chunkSize + 1000); break;
        }
        size = static_cast<uint32_t>(std::min<size_t>(size, total - sum));
        sizes.push_back(size);
        sum += size;
    }
    return sizes;
}

struct RunResult {
    size_t chunks = 0;          // chunks received
    size_t missingChunks = 0;   // whole chunks dropped between those received
    size_t nextStart = 0;       // stream position after the last chunk received
    uint32_t maxCountSeen = 0;  // largest GetCount() the consumer or observer saw
    std::string fault;          // first broken rule, empty when none
};

class Consumer {
public:
    Consumer(TsChunkQueue& queue, const std::vector<uint8_t>& stream, uint32_t chunkSize)
        : queue_(queue), stream_(stream), chunkSize_(chunkSize) {}


    // Pops until the producer is done and the queue is empty.
    void Run(const std::atomic<bool>& producerDone, std::atomic<uint32_t>& maxCount) {
        for (;;) {
            const bool done = producerDone.load(std::memory_order_acquire);
            NoteCount(maxCount, queue_.GetCount());
            TsChunk* chunk = queue_.Pop();
            if (chunk == nullptr) {
                if (done) return;
                std::this_thread::yield();
                continue;
            }
            Check(*chunk);
            // Half the buffers go back to the producer while it runs.
            if (++popped_ % 2 == 0)
                queue_.Recycle(chunk);
            else
                FreeTsChunk(chunk);
        }
    }

    static void NoteCount(std::atomic<uint32_t>& maxCount, uint32_t count) {
        uint32_t seen = maxCount.load(std::memory_order_relaxed);
        while (count > seen && !maxCount.compare_exchange_weak(seen, count)) {
        }
    }

    RunResult result;

private:
    void Check(const TsChunk& chunk) {
        if (!result.fault.empty()) return;
        uint32_t word = 0;
        if (chunk.Length != chunkSize_) return Fail("chunk of wrong length");
        std::memcpy(&word, chunk.Data, 4);
        const size_t start = size_t(word) * 4;
        if (start % chunkSize_ != 0) return Fail("chunk does not start at a chunk boundary");
        if (start < result.nextStart) return Fail("chunk out of order or repeated");
        if (start + chunkSize_ > stream_.size()) return Fail("chunk beyond the stream");
        if (std::memcmp(chunk.Data, stream_.data() + start, chunkSize_) != 0)
            return Fail("chunk bytes differ from the stream");
        result.missingChunks += (start - result.nextStart) / chunkSize_;
        result.nextStart = start + chunkSize_;
        ++result.chunks;
    }
    void Fail(const char* text) { result.fault = text; }

    TsChunkQueue& queue_;
    const std::vector<uint8_t>& stream_;
    uint32_t chunkSize_;
    uint64_t popped_ = 0;
};

// A clock on which a whole idle-spare window passes at every other reading,
// so that the consumer gives spares back all the while the producer takes them.
class RacingClock final : public MonotonicClock {
public:
    uint64_t NowMs() noexcept override { return now_.fetch_add(TsChunkQueue::IdleSpareMs / 2); }

private:
    std::atomic<uint64_t> now_{0};
};

// Pushes the stream in the given sizes; once `holdConsumerUntil` bytes are in,
// lets the consumer start (so a small queue is sure to have dropped some).
RunResult RunProducerAndConsumer(uint32_t chunkSize, uint32_t maxChunks, size_t total, size_t holdConsumerUntil,
                                 MonotonicClock& clock = MonotonicClock::System()) {
    const std::vector<uint8_t> stream = CounterStream(total);
    const std::vector<uint32_t> sizes = SampleSizes(total, chunkSize, 20240611);
    TsChunkQueue queue(ChunkMemory::System(), clock);
    queue.Configure(chunkSize, maxChunks);

    std::atomic<bool> consumerMayStart{false}, producerDone{false}, observerStop{false};
    std::atomic<uint32_t> maxCount{0};
    Consumer consumer(queue, stream, chunkSize);

    std::thread observer([&] {
        while (!observerStop.load(std::memory_order_acquire)) {
            Consumer::NoteCount(maxCount, queue.GetCount());
            std::this_thread::yield();
        }
    });
    std::thread consumerThread([&] {
        while (!consumerMayStart.load(std::memory_order_acquire)) std::this_thread::yield();
        consumer.Run(producerDone, maxCount);
    });

    size_t pushed = 0;
    for (uint32_t size : sizes) {
        queue.Push(stream.data() + pushed, size);
        pushed += size;
        if (pushed >= holdConsumerUntil) consumerMayStart.store(true, std::memory_order_release);
    }
    consumerMayStart.store(true, std::memory_order_release);
    producerDone.store(true, std::memory_order_release);
    consumerThread.join();
    observerStop.store(true, std::memory_order_release);
    observer.join();

    RunResult result = consumer.result;
    result.maxCountSeen = maxCount.load();
    EXPECT_EQ(queue.AccumulatedBytes(), total % chunkSize);
    return result;
}

}  // namespace

TEST(TsChunkQueueConcurrency, SmallQueueDropsOnlyWholeOldChunks) {
    const uint32_t chunkSize = 4096, maxChunks = 4;
    const size_t total = 6 * 1024 * 1024 + 1234;
    RunResult r = RunProducerAndConsumer(chunkSize, maxChunks, total, 16 * chunkSize);
    EXPECT_EQ(r.fault, "");
    EXPECT_LE(r.maxCountSeen, maxChunks);
    EXPECT_GT(r.missingChunks, 0u) << "the consumer was held back, so chunks must have dropped";
    EXPECT_GT(r.chunks, 0u);
    // Nothing is pushed after the last chunk, so it always arrives.
    EXPECT_EQ(r.nextStart, total / chunkSize * chunkSize);
    EXPECT_EQ(r.chunks + r.missingChunks, total / chunkSize);
}

TEST(TsChunkQueueConcurrency, FullSizeQueueWithKeepingUpConsumerLosesNothing) {
    const uint32_t chunkSize = 192512, maxChunks = 512;
    const size_t total = 48 * 1024 * 1024 + 777;  // about 260 chunks, under the maximum
    RunResult r = RunProducerAndConsumer(chunkSize, maxChunks, total, 0);
    EXPECT_EQ(r.fault, "");
    EXPECT_LE(r.maxCountSeen, maxChunks);
    EXPECT_EQ(r.missingChunks, 0u);
    EXPECT_EQ(r.chunks, total / chunkSize);
}

// The consumer catches up on a backlog and gives the idle spares back while
// the producer goes on taking them: no chunk may be lost for want of one.
TEST(TsChunkQueueConcurrency, SparesGivenBackWhileTheStreamRunsLoseNothing) {
    const uint32_t chunkSize = 192512, maxChunks = 512;
    const size_t total = 64 * 1024 * 1024 + 99;  // about 350 chunks, under the maximum
    RacingClock clock;
    RunResult r = RunProducerAndConsumer(chunkSize, maxChunks, total, 120 * size_t{chunkSize}, clock);
    EXPECT_EQ(r.fault, "");
    EXPECT_EQ(r.missingChunks, 0u);
    EXPECT_EQ(r.chunks, total / chunkSize);
}

// ---- purge racing the producer -------------------------------------------

namespace {

// Where in the stream a chunk starts: one of the four alignments puts a whole
// counter at its start, and all its bytes must then match. -1 when none does.
int64_t SliceStart(const TsChunk& chunk, const std::vector<uint8_t>& stream) {
    for (uint32_t skip = 0; skip < 4; ++skip) {
        uint32_t word = 0;
        std::memcpy(&word, chunk.Data + skip, 4);
        const int64_t start = int64_t(word) * 4 - skip;
        if (start < 0 || size_t(start) + chunk.Length > stream.size()) continue;
        if (std::memcmp(chunk.Data, stream.data() + start, chunk.Length) == 0) return start;
    }
    return -1;
}

// The producer's progress as the purger and the consumer see it. Purge k is
// due once `step * k` bytes are in; the producer waits for it to be armed
// (its thread spinning, ready to meet the next Push) before pushing on, and
// for it to be done before the next region. The last region is the tail.
struct PurgeRace {
    static constexpr int kPurges = 30;
    explicit PurgeRace(size_t zone) : step(zone / (kPurges + 1)) {}
    const size_t step;
    std::atomic<size_t> pushedEnd{0};  // end of the last Push that returned
    std::atomic<bool> pushing{false};
    std::atomic<bool> producerDone{false};
    std::atomic<int> armed{0};
    std::atomic<int> purgesDone{0};
    // [k]: every byte below it was in a Push that returned before purge k began.
    std::vector<size_t> purgedBefore = std::vector<size_t>(kPurges + 1, 0);

    void BeforePush(size_t pushed) const {
        const int region = int(std::min<size_t>(pushed / step, kPurges + 1));
        while (purgesDone.load() < region - 1 || (region <= kPurges && armed.load() < region))
            std::this_thread::yield();
    }
};

void Purge(TsChunkQueue& queue, PurgeRace& race) {
    for (int k = 1; k <= PurgeRace::kPurges; ++k) {
        while (race.pushedEnd.load() < race.step * k) std::this_thread::yield();
        race.armed.store(k);
        // No yield here: the Push would be over before this thread ran again.
        while (!race.pushing.load() && race.pushedEnd.load() < race.step * (k + 1)) {
        }
        race.purgedBefore[k] = race.pushedEnd.load(std::memory_order_acquire);
        queue.Clear();
        race.purgesDone.store(k, std::memory_order_release);
    }
}

// The rule a chunk starting at `start` breaks, or null. `end` is where the
// chunk before it ended.
const char* Misplaced(int64_t start, size_t end, size_t purgedBefore) {
    if (start < 0) return "chunk is not a slice of the stream";
    if (size_t(start) < end) return "chunk out of order or repeated";
    if (size_t(start) < purgedBefore) return "chunk popped after a purge holds bytes pushed before it";
    return nullptr;
}

// Pops every chunk; `starts` receives where each one starts in the stream.
std::string ConsumeAcrossPurges(TsChunkQueue& queue, const PurgeRace& race,
                                const std::vector<uint8_t>& stream, uint32_t chunkSize,
                                std::vector<size_t>& starts) {
    std::string fault;
    size_t end = 0;
    for (uint64_t popped = 0;;) {
        const int purges = race.purgesDone.load(std::memory_order_acquire);
        const bool done = race.producerDone.load(std::memory_order_acquire);
        TsChunk* chunk = queue.Pop();
        if (chunk == nullptr) {
            if (done) return fault;
            std::this_thread::yield();
            continue;
        }
        const int64_t start = chunk->Length == chunkSize ? SliceStart(*chunk, stream) : -1;
        if (!fault.empty()) {
            // The first fault is the one reported.
        } else if (const char* broken = Misplaced(start, end, race.purgedBefore[purges])) {
            fault = broken;
        } else {
            starts.push_back(size_t(start));
            end = size_t(start) + chunkSize;
        }
        if (++popped % 2 == 0)
            queue.Recycle(chunk);
        else
            FreeTsChunk(chunk);
    }
}

}  // namespace

TEST(TsChunkQueueConcurrency, PurgeDuringPushNeverMixesOldAndNewBytes) {
    // Samples of up to 2 MB: a Push crosses hundreds of chunk boundaries, and
    // a purge lands between them.
    const uint32_t chunkSize = 4093, maxChunks = 1024;
    const uint32_t largeSample = 1000000;
    const size_t total = 48 * 1024 * 1024 + 99;
    const size_t zone = total / 4 * 3;  // the purges happen in here; the rest is the tail
    const std::vector<uint8_t> stream = CounterStream(total);
    TsChunkQueue queue;
    queue.Configure(chunkSize, maxChunks);
    PurgeRace race(zone);
    std::vector<size_t> starts;
    std::string fault;
    std::thread consumer([&] { fault = ConsumeAcrossPurges(queue, race, stream, chunkSize, starts); });
    std::thread purger([&] { Purge(queue, race); });

    size_t pushed = 0, tailStart = total;
    for (uint32_t size : SampleSizes(total, largeSample, 20240612)) {
        race.BeforePush(pushed);
        if (tailStart == total && race.purgesDone.load(std::memory_order_acquire) == PurgeRace::kPurges)
            tailStart = pushed;
        // The ring never fills, so the drop rule drops nothing: every tail byte must arrive.
        while (queue.GetCount() + size / chunkSize + 1 >= maxChunks) std::this_thread::yield();
        race.pushing.store(true);
        queue.Push(stream.data() + pushed, size);
        race.pushing.store(false);
        pushed += size;
        race.pushedEnd.store(pushed, std::memory_order_release);
    }
    race.producerDone.store(true, std::memory_order_release);
    purger.join();
    consumer.join();

    ASSERT_EQ(fault, "");
    ASSERT_LE(tailStart, zone + 2 * largeSample + 1000) << "the tail begins with the first sample past the zone";
    // The tail is whole: from the chunk that holds its first byte, chunk after
    // chunk, up to the bytes still waiting for a chunk.
    auto first = std::find_if(starts.begin(), starts.end(),
                              [&](size_t start) { return start + chunkSize > tailStart; });
    ASSERT_NE(first, starts.end());
    EXPECT_LE(*first, tailStart);
    for (auto it = first + 1; it != starts.end(); ++it) ASSERT_EQ(*it, *(it - 1) + chunkSize);
    EXPECT_EQ(starts.back() + chunkSize, total - queue.AccumulatedBytes());
}
