// Driver benchmark (Windows, under wine64): BonDriver_TesselBDA.dll loaded by
// path like a host, against the simulated tuner registered in the prefix.
// Prints three figures, each measured in this run:
//   1. throughput with the simulator unpaced: MB/s of TS through Wine's
//      graph, the writer, the chunk queue and GetTsStream;
//   2. CPU time per second of a paced 60 Mbit/s stream (GetProcessTimes; the
//      simulator runs in this process too, so its share is included);
//   3. peak memory with a stalled reader (psapi PeakWorkingSetSize and
//      PeakPagefileUsage) once the queue holds its 512 chunks.
// Named so that the bench/ glob (which builds every flavour) leaves it alone;
// bench/CMakeLists.txt builds it for the Windows flavours.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>

#include "bench/BenchFigure.h"
#include "bench/LoadedDriver.h"
#include "bench/SimulatedTuner.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr DWORD ChunkBytes = 192512;

// Reads every chunk there is; returns the bytes taken.
uint64_t Drain(IBonDriver2* driver) {
    uint64_t bytes = 0;
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    while (driver->GetTsStream(&data, &size, &remaining)) bytes += size;
    return bytes;
}

// Reads like a host for `seconds`; returns the bytes taken.
uint64_t ReadFor(IBonDriver2* driver, double seconds) {
    uint64_t bytes = 0;
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        driver->WaitTsStream(100);
        bytes += Drain(driver);
    }
    return bytes;
}

double CpuSeconds() {
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

bool OpenAndTune(IBonDriver2* driver) {
    return driver != nullptr && driver->OpenTuner() && driver->SetChannel(0u, 0u);
}

void MeasureThroughput(IBonDriver2* driver, SimDevice* device) {
    device->SetBitRate(0);
    if (!OpenAndTune(driver)) {
        std::printf("throughput: open or tune failed\n");
        return;
    }
    ReadFor(driver, 0.5);  // the graph settles
    const uint64_t producedBefore = device->State().TsBytesDelivered;
    const Clock::time_point start = Clock::now();
    const uint64_t bytes = ReadFor(driver, 5.0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const uint64_t produced = device->State().TsBytesDelivered - producedBefore;
    driver->CloseTuner();
    PrintFigure("unpaced end to end (graph, writer, queue, GetTsStream): %.1f MB/s, "
                "%.1f MB read of %.1f MB produced in %.1f s\n",
                bytes / seconds / 1e6, bytes / 1e6, produced / 1e6, seconds);
}

void MeasurePacedCpu(IBonDriver2* driver, SimDevice* device) {
    constexpr uint64_t BitRate = 60000000;
    device->SetBitRate(BitRate);
    if (!OpenAndTune(driver)) {
        std::printf("paced: open or tune failed\n");
        return;
    }
    ReadFor(driver, 0.5);
    const double cpuBefore = CpuSeconds();
    const Clock::time_point start = Clock::now();
    const uint64_t bytes = ReadFor(driver, 10.0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    driver->CloseTuner();
    PrintFigure("paced 60 Mbit/s: %.1f ms CPU per second (%.2f %% of one core), "
                "%.1f Mbit/s read, simulator included\n",
                cpu / seconds * 1000.0, cpu / seconds * 100.0, bytes * 8 / seconds / 1e6);
}

void MeasureStalledMemory(IBonDriver2* driver, SimDevice* device) {
    PROCESS_MEMORY_COUNTERS before{};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    device->SetBitRate(0);
    if (!OpenAndTune(driver)) {
        std::printf("stalled reader: open or tune failed\n");
        return;
    }
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(60);
    while (driver->GetReadyCount() < 512 && Clock::now() < limit) Sleep(50);
    // Keep the producer going past the bound so that drops happen.
    const uint64_t produced = device->State().TsBytesDelivered;
    while (device->State().TsBytesDelivered < produced + 64ull * ChunkBytes &&
           Clock::now() < limit)
        Sleep(50);
    const DWORD ready = driver->GetReadyCount();
    PROCESS_MEMORY_COUNTERS after{};
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    driver->CloseTuner();
    PrintFigure("stalled reader: %lu chunks queued (bound 512 = %.1f MiB); "
                "peak working set %.1f MiB (%.1f MiB before), peak pagefile usage %.1f MiB "
                "(%.1f MiB before)\n",
                static_cast<unsigned long>(ready), 512.0 * ChunkBytes / 1048576.0,
                after.PeakWorkingSetSize / 1048576.0, before.PeakWorkingSetSize / 1048576.0,
                after.PeakPagefileUsage / 1048576.0, before.PeakPagefileUsage / 1048576.0);
}

}  // namespace

int main() {
    SimulatedTuner tuner(L"" SIM_DLL_PATH);
    if (!tuner.Ready()) return 1;
    LoadedDriver driver(L"" DRIVER_DLL_PATH, SimulatedTuner::Name, tuner.DeviceId());
    if (driver.Get() == nullptr) {
        std::printf("driver benchmark: the driver cannot be loaded\n");
        return 1;
    }
    MeasureThroughput(driver.Get(), tuner.Device());
    MeasurePacedCpu(driver.Get(), tuner.Device());
    MeasureStalledMemory(driver.Get(), tuner.Device());
    return 0;
}
