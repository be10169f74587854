// Driver benchmark (Windows, under Wine): BonDriver_TesselBDA.dll loaded by
// path like a host, against the simulated tuner registered in the prefix,
// with every channel replaying a pre-generated ring (ReplayRing), so that the
// source costs one copy per byte and its own CPU can be measured apart.
// Prints what a user feels, each a ratio or a bound measured in this run:
//   end-to-end/memcpy ratio     unpaced replay -> Wine's graph -> writer ->
//                               queue -> GetTsStream (pointer form), against a
//                               memcpy of the same bytes in the same samples;
//   driver CPU per 60 Mbit/s stream, and per stream with 4 tuners (four
//                               renamed DLL copies in one process): the
//                               process's CPU while streaming minus the
//                               replay sources' CPU measured alone;
//   memory per open idle tuner, with a stalled reader, after the reader
//                               caught up (at once, and how long the queue
//                               takes to give the idle spares back while the
//                               stream goes on), after CloseTuner: growth of
//                               private bytes over the figure before
//                               OpenTuner (synthetic channels);
//   OpenTuner and SetChannel    medians over 20, synthetic channels.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchFigure.h"
#include "bench/LoadedDriver.h"
#include "bench/ReplayRing.h"
#include "bench/SimulatedTuner.h"
#include "sim/SimDevice.h"
#include "tests/windows/ProcessCensus.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr DWORD ChunkBytes = 192512;
constexpr DWORD QueueBound = 512;  // chunks
constexpr double MiB = 1048576.0;
// What the graph and the chunk being filled may take beside the full queue.
constexpr double StalledAllowanceMiB = 8.0;
// What the driver keeps beyond the queued chunks once a reader caught up
// and its idle spares went back (TsChunkQueue::KeptSpares).
constexpr unsigned TsChunkQueueKeptSpares = 8;
// How long the reader goes on after catching up, watching that memory fall.
constexpr double GiveBackWatchSeconds = 15.0;
constexpr unsigned Tuners = 4;
constexpr uint64_t StreamBitRate = 60000000;
// Process times under Wine tick in 10 ms steps: 20 s keeps a step at 0.05%.
constexpr double CpuSeconds = 20.0;
constexpr double ThroughputSeconds = 5.0;
constexpr int TimingRounds = 20;

double Seconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
    auto seconds = [](const FILETIME& time) {
        ULARGE_INTEGER value;
        value.LowPart = time.dwLowDateTime;
        value.HighPart = time.dwHighDateTime;
        return value.QuadPart / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Private bytes and, beside them, the bytes in use in the heaps: a heap may
// keep pages committed after its blocks are freed.
struct MemoryFigures {
    double Private = 0, Heap = 0;
    static MemoryFigures Now() {
        const ProcessFigures figures = ProcessCensus::Take();
        return MemoryFigures{figures.PrivateBytes / MiB, figures.HeapBytes / MiB};
    }
    MemoryFigures operator-(const MemoryFigures& other) const { return MemoryFigures{Private - other.Private, Heap - other.Heap}; }
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Reads every chunk there is, pointer form; returns the bytes taken.
uint64_t Drain(IBonDriver2* driver) {
    uint64_t bytes = 0;
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    while (driver->GetTsStream(&data, &size, &remaining)) bytes += size;
    return bytes;
}

// Reads like a host's reception thread for `seconds`; returns the bytes taken.
uint64_t ReadFor(IBonDriver2* driver, double seconds) {
    uint64_t bytes = 0;
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        driver->WaitTsStream(100);
        bytes += Drain(driver);
    }
    return bytes;
}

// One reception thread per driver, all for `seconds`; returns the bytes taken.
uint64_t ReadAll(const std::vector<IBonDriver2*>& drivers, double seconds) {
    std::atomic<uint64_t> bytes{0};
    std::vector<std::thread> readers;
    for (IBonDriver2* driver : drivers)
        readers.emplace_back([&bytes, driver, seconds] { bytes += ReadFor(driver, seconds); });
    for (std::thread& reader : readers) reader.join();
    return bytes;
}

// The replay sources alone, read as the simulator's streaming thread reads
// them (its default sample size, paced at `bitRate` the same way) with
// nothing downstream, one thread a stream; returns CPU seconds per second.
double SourceCpuShare(const SimChannelSources& sources, unsigned streams, uint64_t bitRate,
                      double seconds) {
    const double cpuBefore = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (unsigned stream = 0; stream < streams; ++stream) {
        threads.emplace_back([&sources, bitRate, seconds, start] {
            TsServiceInfo service;
            service.Name = "alone";
            std::unique_ptr<TsSource> source = sources.Open("13ch", service, bitRate);
            if (!source) return;
            std::vector<uint8_t> sample(SimDefaultSampleSize);
            std::mutex lock;
            std::condition_variable never;
            std::unique_lock<std::mutex> hold(lock);
            const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>(seconds));
            for (uint64_t sent = 0; Clock::now() < end;) {
                sent += source->Read(sample.data(), sample.size());
                const auto due = start + std::chrono::microseconds(sent * 8 * 1000000 / bitRate);
                never.wait_until(hold, std::chrono::time_point_cast<Clock::duration>(due));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    return (ProcessCpuSeconds() - cpuBefore) / Seconds(Clock::now() - start);
}

class DriverBench {
public:
    DriverBench(const SimulatedTuner& tuner, std::vector<std::unique_ptr<LoadedDriver>> drivers)
        : tuner_(tuner), drivers_(std::move(drivers)) {}

    void Timing();
    void Memory();
    void EndToEnd();
    void Cpu(unsigned streams);

private:
    IBonDriver2* Driver(size_t index) const { return drivers_[index]->Get(); }
    bool OpenAndTune(size_t index, uint64_t bitRate) {
        tuner_.Device(index)->SetBitRate(bitRate);
        return Driver(index)->OpenTuner() && Driver(index)->SetChannel(0u, 0u);
    }

    const SimulatedTuner& tuner_;
    std::vector<std::unique_ptr<LoadedDriver>> drivers_;
    std::shared_ptr<const std::vector<uint8_t>> ring_ = ReplayRing::Make();
    std::shared_ptr<SimChannelSources> replay_ = ReplayRing::Everywhere(ring_);
};

void DriverBench::Timing() {
    tuner_.Control()->SetChannelSources(nullptr);  // synthetic channels: nothing to prepare
    IBonDriver2* driver = Driver(0);
    std::vector<double> opens, tunes;
    for (int round = 0; round < TimingRounds; ++round) {
        const Clock::time_point start = Clock::now();
        if (!driver->OpenTuner()) {
            std::printf("timing: OpenTuner failed\n");
            return;
        }
        opens.push_back(Seconds(Clock::now() - start) * 1000.0);
        driver->CloseTuner();
    }
    driver->OpenTuner();
    for (int round = 0; round < TimingRounds; ++round) {
        const Clock::time_point start = Clock::now();
        const BOOL tuned = driver->SetChannel(0u, static_cast<DWORD>(round % 10));
        tunes.push_back(Seconds(Clock::now() - start) * 1000.0);
        if (!tuned) std::printf("timing: SetChannel failed\n");
    }
    driver->CloseTuner();
    PrintFigure("OpenTuner: %.1f ms, SetChannel: %.2f ms  (medians over %d; min %.1f / %.2f ms)\n",
                Median(opens), Median(tunes), TimingRounds,
                *std::min_element(opens.begin(), opens.end()),
                *std::min_element(tunes.begin(), tunes.end()));
}

void DriverBench::Memory() {
    // Synthetic channels: the simulated device keeps a replayed clip (4 MB)
    // until its next tune, which would count as the closed tuner's.
    tuner_.Control()->SetChannelSources(nullptr);
    IBonDriver2* driver = Driver(0);
    const MemoryFigures before = MemoryFigures::Now();
    if (!driver->OpenTuner()) {
        std::printf("memory: OpenTuner failed\n");
        return;
    }
    Sleep(500);
    const MemoryFigures idle = MemoryFigures::Now() - before;
    tuner_.Device(0)->SetBitRate(0);
    driver->SetChannel(0u, 0u);
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(60);
    while (driver->GetReadyCount() < QueueBound && Clock::now() < limit) Sleep(50);
    // The producer runs on past the bound, so the oldest chunks are dropped.
    const uint64_t produced = tuner_.Device(0)->State().TsBytesDelivered;
    while (tuner_.Device(0)->State().TsBytesDelivered < produced + 64ull * ChunkBytes &&
           Clock::now() < limit)
        Sleep(50);
    const DWORD queued = driver->GetReadyCount();
    const MemoryFigures stalled = MemoryFigures::Now() - before;
    // The reader comes back and catches up with a stream paced as a real one.
    tuner_.Device(0)->SetBitRate(StreamBitRate);
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    for (int idle = 0; idle < 10 && Clock::now() < limit;) {
        if (driver->GetTsStream(&data, &size, &remaining)) continue;
        ++idle;
        driver->WaitTsStream(100);
    }
    const MemoryFigures caughtUp = MemoryFigures::Now() - before;
    // The stream goes on, read as it comes; the spares the catch-up left go
    // back once they stay idle.
    const double caughtUpBound = (TsChunkQueueKeptSpares + 2) * ChunkBytes / MiB + StalledAllowanceMiB;
    const Clock::time_point caughtUpAt = Clock::now();
    double fellAfter = -1;
    MemoryFigures settled = caughtUp;
    while (Seconds(Clock::now() - caughtUpAt) < GiveBackWatchSeconds) {
        ReadFor(driver, 0.25);
        settled = MemoryFigures::Now() - before;
        if (settled.Private <= caughtUpBound) {
            fellAfter = Seconds(Clock::now() - caughtUpAt);
            break;
        }
    }
    driver->CloseTuner();
    Sleep(500);
    const MemoryFigures closed = MemoryFigures::Now() - before;
    const double queueMiB = QueueBound * ChunkBytes / MiB;
    PrintFigure("memory per open idle tuner: %.1f MiB  (heap blocks %+.1f MiB)\n", idle.Private,
                idle.Heap);
    PrintFigure("memory with a stalled reader: %.1f MiB (bound %.1f MiB)  (%lu chunks queued, "
                "%.1f MiB of them; heap blocks %+.1f MiB)\n",
                stalled.Private, queueMiB + StalledAllowanceMiB, static_cast<unsigned long>(queued),
                queueMiB, stalled.Heap);
    PrintFigure("memory after the reader caught up: %.1f MiB at once, %.1f MiB %s%.1f s later (bound "
                "%.1f MiB: %u spares, the chunk filling and one held)  (heap blocks %+.1f MiB)\n",
                caughtUp.Private, settled.Private, fellAfter >= 0 ? "" : "still, ",
                fellAfter >= 0 ? fellAfter : GiveBackWatchSeconds, caughtUpBound,
                TsChunkQueueKeptSpares, settled.Heap);
    PrintFigure("memory after CloseTuner: %.1f MiB (bound 1.0 MiB)  (heap blocks %+.1f MiB)\n",
                closed.Private, closed.Heap);
}

void DriverBench::EndToEnd() {
    tuner_.Control()->SetChannelSources(replay_);
    IBonDriver2* driver = Driver(0);
    if (!OpenAndTune(0, 0)) {
        std::printf("end to end: open or tune failed\n");
        return;
    }
    ReadFor(driver, 0.5);  // the graph settles
    const Clock::time_point start = Clock::now();
    const uint64_t bytes = ReadFor(driver, ThroughputSeconds);
    const double seconds = Seconds(Clock::now() - start);
    driver->CloseTuner();
    // The same bytes from the same ring in samples of the same size.
    const std::vector<uint8_t>& ring = *ring_;
    std::vector<uint8_t> sample(SimDefaultSampleSize);
    volatile uint8_t sink = 0;
    const Clock::time_point copyStart = Clock::now();
    for (uint64_t done = 0, at = 0; done < bytes; done += sample.size()) {
        if (at + sample.size() > ring.size()) at = 0;
        std::memcpy(sample.data(), ring.data() + at, sample.size());
        at += sample.size();
        sink = sink + sample[done % sample.size()];
    }
    const double copySeconds = std::max(Seconds(Clock::now() - copyStart), 1e-9);
    const double chain = bytes / seconds / 1e6, copy = bytes / copySeconds / 1e6;
    PrintFigure("end-to-end/memcpy ratio: %.2f  (replay source, %zu-byte samples: end to end "
                "%.1f MB/s, memcpy %.1f MB/s, %.1f MB read)\n",
                copy > 0 ? chain / copy : 0.0, SimDefaultSampleSize, chain, copy, bytes / 1e6);
}

void DriverBench::Cpu(unsigned streams) {
    tuner_.Control()->SetChannelSources(replay_);
    std::vector<IBonDriver2*> open;
    for (unsigned index = 0; index < streams; ++index) {
        if (!OpenAndTune(index, StreamBitRate)) {
            std::printf("CPU: open or tune of tuner %u failed\n", index);
            for (IBonDriver2* driver : open) driver->CloseTuner();
            return;
        }
        open.push_back(Driver(index));
    }
    ReadAll(open, 0.5);
    const double cpuBefore = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    const uint64_t bytes = ReadAll(open, CpuSeconds);
    const double seconds = Seconds(Clock::now() - start);
    const double streaming = (ProcessCpuSeconds() - cpuBefore) / seconds;
    for (IBonDriver2* driver : open) driver->CloseTuner();
    const double source = SourceCpuShare(*replay_, streams, StreamBitRate, CpuSeconds);
    const double perStream = (streaming - source) / streams * 100.0;
    const double mbits = bytes * 8 / seconds / 1e6 / streams;
    if (streams == 1)
        PrintFigure("driver CPU per 60 Mbit/s stream: %.2f%% of a core  (process %.2f%%, replay "
                    "source alone %.2f%%; %.1f Mbit/s read)\n",
                    perStream, streaming * 100.0, source * 100.0, mbits);
    else
        PrintFigure("driver CPU per stream with %u tuners: %.2f%% of a core  (process %.2f%%, "
                    "replay sources alone %.2f%%; %.1f Mbit/s read per stream)\n",
                    streams, perStream, streaming * 100.0, source * 100.0, mbits);
}

}  // namespace

int main() {
    SimulatedTuner tuner(L"" SIM_DLL_PATH, Tuners);
    if (!tuner.Ready()) return 1;
    std::vector<std::unique_ptr<LoadedDriver>> drivers;
    for (unsigned index = 0; index < Tuners; ++index) {
        drivers.emplace_back(new LoadedDriver(L"" DRIVER_DLL_PATH, SimulatedTuner::Name,
                                              tuner.DeviceId(index),
                                              L"BonDriver_TesselBDA_" + std::to_wstring(index)));
        if (drivers.back()->Get() == nullptr) {
            std::printf("driver benchmark: copy %u of the driver cannot be loaded\n", index);
            return 1;
        }
    }
    DriverBench bench(tuner, std::move(drivers));
    bench.Timing();
    bench.Memory();
    bench.EndToEnd();
    bench.Cpu(1);
    bench.Cpu(Tuners);
    return 0;
}
