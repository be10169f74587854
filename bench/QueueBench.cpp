// Push throughput of TsChunkQueue with a consumer thread popping and recycling
// chunks, against a plain memcpy of the same samples into a ring of 512
// buffers of 192512 bytes (what the bytes would cost with no queue at all).
// Prints, per sample size, a line that begins "queue/memcpy ratio: R" (after
// the build tag), then the sample size and the MB/s of both.
// Natively it runs under Google Benchmark; with BDA_BENCH_PLAIN (Windows
// flavours) a plain timing loop measures the same two operations.
//
// The ratio is taken per second of CPU time of the whole process (producer
// and consumer together): on a machine shared with other work the wall clock
// mostly measures the scheduler. The consumer sleeps a millisecond while the
// queue is empty, the way a host's reader waits, so idling costs nothing: a
// shorter pause is none on Windows (MinGW's sleep_for rounds it down to
// Sleep(0)), and a reader spinning on the count would be billed to the queue.
// Wall-clock figures are printed alongside, and how many chunk buffers the
// queue had to make afresh per thousand chunks (fresh pages cost Windows far
// more than the copy into them, so this is what a slow queue pays for).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <time.h>
#endif

#include "bench/BenchFigure.h"
#include "driver/TsChunkQueue.h"
#include "platform/PlatformTypes.h"

#ifndef BDA_BENCH_PLAIN
#include <benchmark/benchmark.h>
#endif

namespace {

constexpr uint32_t kChunkSize = 192512;
constexpr uint32_t kMaxChunks = 512;
constexpr uint32_t kSampleSizes[] = {188, 188 * 48, 188 * 512, 188 * 100 + 37};
// Many rounds: the best run of each side is the least disturbed one, and
// more rounds give both sides more chances at a quiet moment. Windows counts
// CPU time in clock ticks (15.6 ms; 10 ms under Wine), so its runs are longer.
constexpr int kRounds = 5;
#ifdef _WIN32
constexpr double kRunSeconds = 0.8;
#else
constexpr double kRunSeconds = 0.25;
#endif

using Clock = std::chrono::steady_clock;

// CPU seconds used so far by every thread of this process.
double ProcessCpuSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) * 1e-7;
#else
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
#endif
}

// Both clocks of one measured stretch.
class Stopwatch {
public:
    Stopwatch() : wallStart_(Clock::now()), cpuStart_(ProcessCpuSeconds()) {}
    double WallSeconds() const { return std::chrono::duration<double>(Clock::now() - wallStart_).count(); }
    double CpuSeconds() const { return ProcessCpuSeconds() - cpuStart_; }

private:
    Clock::time_point wallStart_;
    double cpuStart_;
};

// Samples are cut from a 4 MB block of TS-like bytes, in turn.
class SampleSource {
public:
    explicit SampleSource(uint32_t sampleSize) : size_(sampleSize), bytes_(4 << 20) {
        for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    const uint8_t* Next() {
        if (offset_ + size_ > bytes_.size()) offset_ = 0;
        const uint8_t* sample = bytes_.data() + offset_;
        offset_ += size_;
        return sample;
    }
    uint32_t Size() const { return size_; }

private:
    uint32_t size_;
    std::vector<uint8_t> bytes_;
    size_t offset_ = 0;
};

// The baseline: each sample copied once into a ring of 512 chunk buffers,
// split at buffer ends the way the queue splits it. The ring is touched
// before timing so page faults are not counted.
class MemcpyRing {
public:
    MemcpyRing() : ring_(size_t(kMaxChunks) * kChunkSize, 1) {}
    void Write(const uint8_t* bytes, uint32_t length) {
        while (length > 0) {
            const uint32_t n = std::min(length, kChunkSize - used_);
            std::memcpy(ring_.data() + size_t(buffer_) * kChunkSize + used_, bytes, n);
            bytes += n;
            length -= n;
            used_ += n;
            if (used_ == kChunkSize) {
                used_ = 0;
                buffer_ = (buffer_ + 1) % kMaxChunks;
            }
        }
    }

private:
    std::vector<uint8_t> ring_;
    uint32_t buffer_ = 0;
    uint32_t used_ = 0;
};

// The system's chunk memory, counting the buffers made.
class CountingChunkMemory final : public ChunkBufferSource {
public:
    uint8_t* Allocate(size_t bytes) noexcept override {
        made_.fetch_add(1, std::memory_order_relaxed);
        return ChunkMemory::Allocate(bytes);
    }
    void Free(uint8_t* data, size_t bytes) noexcept override { ChunkMemory::Free(data, bytes); }
    uint64_t Made() const { return made_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> made_{0};
};

// A queue with the host's side running: a thread that pops and frees every
// chunk as it appears, checking the lock-free count before taking the lock.
class QueueWithConsumer {
public:
    QueueWithConsumer() : queue_(memory_) {
        queue_.Configure(kChunkSize, kMaxChunks);
        consumer_ = std::thread([this] { Consume(); });
        WarmUp();
        madeBefore_ = memory_.Made();
    }
    ~QueueWithConsumer() {
        stop_.store(true, std::memory_order_release);
        consumer_.join();
    }
    void Write(const uint8_t* bytes, uint32_t length) { queue_.Push(bytes, length); }
    // Buffers made since the warm-up.
    uint64_t FreshBuffers() const { return memory_.Made() - madeBefore_; }

private:
    // A running stream has its chunks in circulation already, as the baseline
    // has its ring of 512 touched buffers: before timing, the consumer holds
    // back until the ring is full once, then catches up, so that neither side
    // counts first-touch page faults and the queue does not count the growth
    // of its spare chunks to the high-water mark a late consumer makes. (Runs
    // are shorter than the window after which idle spares go back.) Then the
    // stream runs for 50 ms, some fifty naps of the consumer.
    void WarmUp() {
        std::vector<uint8_t> chunk(kChunkSize, 0x47);
        hold_.store(true, std::memory_order_release);
        for (uint32_t i = 0; i <= kMaxChunks; ++i) queue_.Push(chunk.data(), kChunkSize);
        hold_.store(false, std::memory_order_release);
        while (queue_.GetCount() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const Stopwatch watch;
        while (watch.WallSeconds() < 0.05) queue_.Push(chunk.data(), kChunkSize);
        while (queue_.GetCount() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    void Consume() {
        while (!stop_.load(std::memory_order_acquire)) {
            if (queue_.GetCount() == 0 || hold_.load(std::memory_order_acquire)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            queue_.Recycle(queue_.Pop());
        }
    }

    CountingChunkMemory memory_;
    TsChunkQueue queue_;
    uint64_t madeBefore_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hold_{false};  // the consumer waits (warm-up only)
    std::thread consumer_;
};

// Throughput of one side, per CPU second and per wall second.
struct Rate {
    double cpuMBps = 0;
    double wallMBps = 0;
    double freshPerThousand = 0;  // the queue's fresh buffers per 1000 chunks

    // Keeps the best of the runs (judged by CPU time).
    void Offer(uint64_t bytes, const Stopwatch& watch, uint64_t fresh = 0) {
        const double cpu = watch.CpuSeconds(), wall = watch.WallSeconds();
        if (cpu <= 0 || wall <= 0 || bytes / cpu / 1e6 <= cpuMBps) return;
        cpuMBps = bytes / cpu / 1e6;
        wallMBps = bytes / wall / 1e6;
        const double chunks = double(bytes) / kChunkSize;
        freshPerThousand = chunks > 0 ? fresh * 1000.0 / chunks : 0;
    }
};

// What a run of either side made afresh: the queue counts, the ring makes nothing.
uint64_t FreshBuffers(const QueueWithConsumer& queue) { return queue.FreshBuffers(); }
uint64_t FreshBuffers(const MemcpyRing&) { return 0; }

struct Figures {
    Rate queue;
    Rate memcpy;
};

void PrintRatios(const std::map<uint32_t, Figures>& figures) {
    for (uint32_t size : kSampleSizes) {
        auto it = figures.find(size);
        if (it == figures.end()) continue;
        const Rate& q = it->second.queue;
        const Rate& m = it->second.memcpy;
        PrintFigure("queue/memcpy ratio: %.2f  (sample %6u bytes; per CPU second: queue %8.1f MB/s,"
                    " memcpy %8.1f MB/s; wall clock: queue %.1f MB/s, memcpy %.1f MB/s; queue's"
                    " fresh buffers per 1000 chunks: %.1f)\n",
                    m.cpuMBps > 0 ? q.cpuMBps / m.cpuMBps : 0, size, q.cpuMBps, m.cpuMBps, q.wallMBps,
                    m.wallMBps, q.freshPerThousand);
    }
}

std::map<uint32_t, Figures> g_figures;

}  // namespace

#ifndef BDA_BENCH_PLAIN

namespace {

// Each run of at least 50 ms offers its figure; the best one stays.
template <class Sink>
void WriteSamples(benchmark::State& state, Rate Figures::*side) {
    SampleSource source(static_cast<uint32_t>(state.range(0)));
    auto sink = std::make_unique<Sink>();
    const Stopwatch watch;
    for (auto _ : state) sink->Write(source.Next(), source.Size());
    const uint64_t bytes = uint64_t(state.iterations()) * source.Size();
    if (watch.WallSeconds() >= 0.05)
        (g_figures[source.Size()].*side).Offer(bytes, watch, FreshBuffers(*sink));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void QueuePush(benchmark::State& state) { WriteSamples<QueueWithConsumer>(state, &Figures::queue); }
void MemcpyRingWrite(benchmark::State& state) { WriteSamples<MemcpyRing>(state, &Figures::memcpy); }

// Rounds of the queue then the baseline at every sample size, so that a load
// change on a shared machine falls on both sides alike.
void RegisterRounds() {
    for (int round = 0; round < kRounds; ++round) {
        for (uint32_t size : kSampleSizes) {
            benchmark::RegisterBenchmark("QueuePush", QueuePush)
                ->Arg(size)
                ->MeasureProcessCPUTime()
                ->MinTime(kRunSeconds);
            benchmark::RegisterBenchmark("MemcpyRingWrite", MemcpyRingWrite)
                ->Arg(size)
                ->MeasureProcessCPUTime()
                ->MinTime(kRunSeconds);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RegisterRounds();
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios(g_figures);
    return 0;
}

#else  // BDA_BENCH_PLAIN

namespace {

// Writes samples for at least kRunSeconds and offers the figure.
template <class Sink>
void Measure(uint32_t sampleSize, Rate& rate) {
    SampleSource source(sampleSize);
    auto sink = std::make_unique<Sink>();
    uint64_t bytes = 0;
    const Stopwatch watch;
    do {
        for (int i = 0; i < 256; ++i) sink->Write(source.Next(), sampleSize);
        bytes += uint64_t(256) * sampleSize;
    } while (watch.WallSeconds() < kRunSeconds);
    rate.Offer(bytes, watch, FreshBuffers(*sink));
}

}  // namespace

// Rounds of the queue then the baseline at every sample size, so that a load
// change on a shared machine falls on both sides alike; the best run of each
// counts.
int main() {
    for (int round = 0; round < kRounds; ++round) {
        for (uint32_t size : kSampleSizes) {
            Measure<QueueWithConsumer>(size, g_figures[size].queue);
            Measure<MemcpyRing>(size, g_figures[size].memcpy);
        }
    }
    PrintRatios(g_figures);
    return 0;
}

#endif
