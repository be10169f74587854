// Soak (Windows, under Wine; not part of the test run): the driver DLL loaded
// like a host streams a paced 60 Mbit/s stream from the simulated tuner for
// the given time while a reader keeps up, as a host's reception thread does.
// Every chunk goes through TsStreamChecker; the generator's per-PID counters
// tell any packet lost on the way, and so any chunk the queue dropped.
// Prints the chunks read and dropped, the stream's faults, the deepest the
// queue got, and the process's handles (by type), threads and private bytes
// at the start and at the end. Exits non-zero when a chunk was dropped or the
// stream was not clean.
//
//   DriverSoakBench.exe [--minutes M]   (default 0.5; the soak proper is 60)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/BenchArguments.h"
#include "bench/BenchFigure.h"
#include "bench/LoadedDriver.h"
#include "bench/SimulatedTuner.h"
#include "tests/windows/ProcessCensus.h"
#include "ts/TsStreamChecker.h"

namespace {

constexpr uint64_t SoakBitRate = 60000000;
constexpr DWORD ChunkBytes = 192512;
constexpr DWORD ChunkPackets = ChunkBytes / 188;
constexpr double DefaultMinutes = 0.5;
constexpr ULONGLONG ProgressEveryMs = 60000;

struct SoakCounts {
    uint64_t Chunks = 0;
    uint64_t Bytes = 0;
    uint64_t OddChunks = 0;  // chunks of another size than ChunkBytes
    DWORD QueuePeak = 0;
};

// Takes every chunk there is into the checker.
void Drain(IBonDriver2* driver, TsStreamChecker* checker, SoakCounts* counts) {
    counts->QueuePeak = std::max(counts->QueuePeak, driver->GetReadyCount());
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    while (driver->GetTsStream(&data, &size, &remaining)) {
        checker->Feed(data, size);
        ++counts->Chunks;
        counts->Bytes += size;
        if (size != ChunkBytes) ++counts->OddChunks;
    }
}

// Packets the per-PID counters found missing, over every PID.
uint64_t MissingPackets(const TsStreamChecker& checker) {
    uint64_t missing = 0;
    for (uint16_t pid : checker.Pids()) missing += checker.Pid(pid)->CounterMissing;
    return missing;
}

// Whole chunks that the missing counted packets make, at least one for any
// loss: only some of a chunk's packets carry the counters.
uint64_t DroppedChunks(const TsStreamChecker& checker) {
    const uint64_t missing = MissingPackets(checker);
    if (missing == 0 || checker.Packets() == 0) return 0;
    const double counted = static_cast<double>(checker.CounterPackets()) / checker.Packets();
    const double perChunk = std::max(1.0, ChunkPackets * counted);
    return std::max<uint64_t>(1, static_cast<uint64_t>(missing / perChunk + 0.5));
}

void PrintProgress(double minutes, const SoakCounts& counts, const TsStreamChecker& checker) {
    PrintFigure("soak %.0f min: %llu chunks read, %llu dropped, queue peak %lu; %s\n", minutes,
                static_cast<unsigned long long>(counts.Chunks),
                static_cast<unsigned long long>(DroppedChunks(checker)),
                static_cast<unsigned long>(counts.QueuePeak),
                ProcessCensus::Describe(ProcessCensus::Take()).c_str());
}

// Reads for `minutes`, printing progress every minute of a long run.
void Soak(IBonDriver2* driver, double minutes, TsStreamChecker* checker, SoakCounts* counts) {
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG end = start + static_cast<ULONGLONG>(minutes * 60000.0);
    ULONGLONG progress = start + ProgressEveryMs;
    for (ULONGLONG now = start; now < end; now = GetTickCount64()) {
        driver->WaitTsStream(100);
        Drain(driver, checker, counts);
        if (now >= progress && now + ProgressEveryMs <= end) {
            PrintProgress((now - start) / 60000.0, *counts, *checker);
            progress += ProgressEveryMs;
        }
    }
    Drain(driver, checker, counts);
}

void PrintResult(double minutes, double readMbits, const SoakCounts& counts,
                 const TsStreamChecker& checker, const ProcessFigures& start,
                 const ProcessFigures& end) {
    PrintFigure("soak %.1f min paced at %.0f Mbit/s, read %.1f Mbit/s: %llu chunks read (%llu of "
                "another size), %llu dropped (%llu packets missing by their counters); queue "
                "peak %lu chunks\n",
                minutes, SoakBitRate / 1e6, readMbits,
                static_cast<unsigned long long>(counts.Chunks),
                static_cast<unsigned long long>(counts.OddChunks),
                static_cast<unsigned long long>(DroppedChunks(checker)),
                static_cast<unsigned long long>(MissingPackets(checker)),
                static_cast<unsigned long>(counts.QueuePeak));
    PrintFigure("stream: %s; %llu packets, sync losses %llu, CC errors %llu, counter "
                "duplicates %llu, reorders %llu, index regressions %llu\n",
                checker.Clean() ? "clean" : "NOT clean",
                static_cast<unsigned long long>(checker.Packets()),
                static_cast<unsigned long long>(checker.SyncLosses()),
                static_cast<unsigned long long>(checker.CcErrors()),
                static_cast<unsigned long long>(checker.CounterDuplicates()),
                static_cast<unsigned long long>(checker.CounterReorders()),
                static_cast<unsigned long long>(checker.IndexRegressions()));
    PrintFigure("process at start: %s\n", ProcessCensus::Describe(start).c_str());
    PrintFigure("process at end:   %s\n", ProcessCensus::Describe(end).c_str());
    PrintFigure("growth:           %s\n",
                ProcessCensus::Describe(ProcessCensus::Growth(start, end)).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = MinutesArgument(argc, argv, DefaultMinutes);
    if (minutes <= 0.0) {
        std::printf("usage: DriverSoakBench [--minutes M]   (default %.1f)\n", DefaultMinutes);
        return 2;
    }
    SimulatedTuner tuner(L"" SIM_DLL_PATH);
    if (!tuner.Ready()) return 1;
    tuner.Device()->SetBitRate(SoakBitRate);
    LoadedDriver driver(L"" DRIVER_DLL_PATH, SimulatedTuner::Name, tuner.DeviceId());
    IBonDriver2* host = driver.Get();
    if (host == nullptr || !host->OpenTuner() || !host->SetChannel(0u, 0u)) {
        std::printf("soak: the driver cannot be loaded, opened or tuned\n");
        return 1;
    }
    TsStreamChecker checker;
    SoakCounts counts;
    // The census starts once the graph runs and the first chunk is read.
    for (int wait = 0; wait < 5 && counts.Chunks == 0; ++wait) Soak(host, 0.05, &checker, &counts);
    if (counts.Chunks == 0) {
        std::printf("soak: no chunk arrived\n");
        return 1;
    }
    const ProcessFigures start = ProcessCensus::Take();
    const uint64_t bytesBefore = counts.Bytes;
    const ULONGLONG began = GetTickCount64();
    Soak(host, minutes, &checker, &counts);
    const double seconds = (GetTickCount64() - began) / 1000.0;
    const ProcessFigures end = ProcessCensus::Take();
    host->CloseTuner();
    PrintResult(minutes, (counts.Bytes - bytesBefore) * 8 / seconds / 1e6, counts, checker, start,
                end);
    return DroppedChunks(checker) == 0 && counts.OddChunks == 0 && checker.Clean() ? 0 : 1;
}
