// TsChunkQueue with a producer, a consumer and an observer on their own
// threads. The producer pushes a stream of 32-bit counters, so the first word
// of any chunk tells where in the stream it starts; every chunk must then be
// the exact stream bytes from a chunk boundary on, in increasing order, with
// only whole chunks missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
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

// Pushes the stream in the given sizes; once `holdConsumerUntil` bytes are in,
// lets the consumer start (so a small queue is sure to have dropped some).
RunResult RunProducerAndConsumer(uint32_t chunkSize, uint32_t maxChunks, size_t total, size_t holdConsumerUntil) {
    const std::vector<uint8_t> stream = CounterStream(total);
    const std::vector<uint32_t> sizes = SampleSizes(total, chunkSize, 20240611);
    TsChunkQueue queue;
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
