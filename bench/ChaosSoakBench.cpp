// Chaos soak (Windows, under Wine; not part of the test run): four tuners
// paced at 16, 30, 45 and 60 Mbit/s, each read by a host reception thread,
// while random events hit random tuners every few seconds: unplugged (and
// plugged back 1-4 s later), stalled, without signal (back 1-4 s later) and
// aborted streams. The driver recovers by itself (AutoRecover=1,
// StallSeconds=2). Prints the events by kind, the recoveries, the time to
// recover (from the device's return, or from the event for a stall or an
// abort) as median and maximum, the bytes each event cost, the hangs (a
// host call that took over 2 s, or a stream not back within 15 s: must be 0)
// and the process's handles and private bytes at start and end, beside
// Wine's own leak for as many filter graphs measured in the same run.
// With --unkind the devices are unkinder too: unplugged without a word
// (plugged back, silently, 1-4 s later) and slow periods, in which a
// stream that aborts is rebuilt behind a Run that waits 1-5 s for the
// device; the recovery bound grows by that wait, the host calls' does not.
//
//   ChaosSoakBench.exe [--minutes M] [--unkind]   (default 1; the soak proper is 10)
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <dshow.h>

#include "bench/BenchArguments.h"
#include "bench/BenchFigure.h"
#include "bench/LoadedDriver.h"
#include "bench/SimulatedTuner.h"
#include "sim/SimDeviceEvents.h"
#include "tests/windows/ProcessCensus.h"

namespace {

constexpr unsigned Tuners = 4;
constexpr uint64_t Rates[Tuners] = {16000000, 30000000, 45000000, 60000000};
constexpr double DefaultMinutes = 1.0;
constexpr ULONGLONG CallBoundMs = 2000;
constexpr ULONGLONG RecoveryBoundMs = 15000;
// A chunk is 25-100 ms of TS here; a pause of two chunks is a gap.
constexpr double PauseChunks = 2.0;
// An event after which chunks went on coming with no gap this long after it
// was mended within a pause shorter than a gap.
constexpr ULONGLONG NoGapAfterMs = 3000;

enum Kind { Unplug, Stall, NoSignal, Abort, SilentUnplug, SlowAbort, KindCount };
const char* const KindNames[KindCount] = {"unplug", "stall", "nosignal", "abort",
                                          "unplug without event", "abort while slow"};
constexpr int KindKindCount = Abort + 1;  // the kind devices' events

ULONGLONG Now() { return GetTickCount64(); }

// A pause of the stream the reader saw: no chunk from Start to End.
struct Gap {
    ULONGLONG Start, End;
};

// One tuner's host side: a reception thread and what it saw.
class HostTuner {
public:
    // `pauseMs`: a pause longer than this between two chunks is a gap.
    HostTuner(IBonDriver2* driver, ULONGLONG pauseMs) : driver_(driver), pauseMs_(pauseMs) {
        InitializeCriticalSection(&lock_);
    }
    ~HostTuner() {
        Stop();
        DeleteCriticalSection(&lock_);
    }
    // The first gap that ends after `after` and began no earlier than `from`.
    bool GapAfter(ULONGLONG from, ULONGLONG after, Gap* gap) {
        EnterCriticalSection(&lock_);
        bool found = false;
        for (const Gap& each : gaps_)
            if (each.Start + pauseMs_ >= from && each.End > after) {
                *gap = each;
                found = true;
                break;
            }
        LeaveCriticalSection(&lock_);
        return found;
    }
    void Start() {
        thread_ = std::thread([this] { Loop(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    ULONGLONG LastChunk() const { return lastChunk_.load(); }
    uint64_t Bytes() const { return bytes_.load(); }
    ULONGLONG LongestCall() const { return longestCall_.load(); }
    IBonDriver2* Driver() const { return driver_; }

private:
    void Loop() {
        while (!stop_) {
            const ULONGLONG start = Now();
            driver_->WaitTsStream(200);
            BYTE* data = nullptr;
            DWORD size = 0, remaining = 0;
            while (driver_->GetTsStream(&data, &size, &remaining)) {
                bytes_ += size;
                const ULONGLONG now = Now(), last = lastChunk_.load();
                if (last != 0 && now - last > pauseMs_) {
                    EnterCriticalSection(&lock_);
                    gaps_.push_back({last, now});
                    LeaveCriticalSection(&lock_);
                }
                lastChunk_ = now;
            }
            const ULONGLONG took = Now() - start;
            if (took > longestCall_.load()) longestCall_ = took;
        }
    }

    IBonDriver2* driver_;
    const ULONGLONG pauseMs_;
    CRITICAL_SECTION lock_;
    std::vector<Gap> gaps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<ULONGLONG> lastChunk_{0};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<ULONGLONG> longestCall_{0};
};

// One event on one tuner, from its start to the stream's return.
struct Incident {
    Kind What;
    unsigned Tuner;
    ULONGLONG At;          // the event
    ULONGLONG BackAt;      // the device's return (replug, signal) or the event
    ULONGLONG ReturnDue;   // when the return is applied (0: none to apply)
    ULONGLONG LastBefore;  // the last chunk before the event
    bool Returned = false;
    bool Recovered = false;
    ULONGLONG RecoveredAt = 0;
    ULONGLONG GapMs = 0;      // how long the stream paused
    bool Seamless = false;    // no gap at all
    ULONGLONG SlowMs = 0;     // the device's Run delay while it recovered
};

template <class T>
T Median(std::vector<T> values) {
    if (values.empty()) return T();
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Wine's own share: the handles and bytes `graphs` empty filter graphs leave.
ProcessFigures WineGraphControl(int graphs) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const ProcessFigures before = ProcessCensus::Take();
    for (int i = 0; i < graphs; ++i) {
        IGraphBuilder* graph = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IGraphBuilder, reinterpret_cast<void**>(&graph))))
            graph->Release();
    }
    const ProcessFigures growth = ProcessCensus::Growth(before, ProcessCensus::Take());
    if (SUCCEEDED(init)) CoUninitialize();
    return growth;
}

class ChaosSoak {
public:
    ChaosSoak(SimulatedTuner& sim, std::vector<std::unique_ptr<LoadedDriver>> drivers, bool unkind)
        : sim_(sim), drivers_(std::move(drivers)), kinds_(unkind ? KindCount : KindKindCount) {}
    int Run(double minutes);

private:
    void Fire(ULONGLONG now);
    void Follow(ULONGLONG now);
    void PollHostCalls();
    void Apply(SimDeviceEvent event, unsigned tuner);
    void EndSlowPeriod(const Incident& incident);
    bool Busy(unsigned tuner) const;
    void Report(double minutes, const ProcessFigures& start, const ProcessFigures& end);

    SimulatedTuner& sim_;
    std::vector<std::unique_ptr<LoadedDriver>> drivers_;
    const int kinds_;
    std::vector<std::unique_ptr<HostTuner>> hosts_;
    std::vector<Incident> incidents_;
    std::mt19937 random_{20261209};
    unsigned hangs_ = 0;
    ULONGLONG longestHostCall_ = 0;
    size_t rebuilds_ = 0;
    ULONGLONG began_ = 0;
};

void ChaosSoak::Apply(SimDeviceEvent event, unsigned tuner) {
    const std::wstring path = sim_.Device(tuner)->Path();
    SimDeviceEvents::Apply(event, path);
}

void ChaosSoak::EndSlowPeriod(const Incident& incident) {
    if (incident.SlowMs != 0)
        SimDeviceEvents::SetRunDelay(sim_.Device(incident.Tuner)->Path(), 0, sim_.Control());
}

bool ChaosSoak::Busy(unsigned tuner) const {
    for (const Incident& incident : incidents_)
        if (incident.Tuner == tuner && !incident.Recovered && incident.At + RecoveryBoundMs * 2 > Now())
            return true;
    return false;
}

void ChaosSoak::Fire(ULONGLONG now) {
    std::vector<unsigned> free;
    for (unsigned t = 0; t < Tuners; ++t)
        if (!Busy(t)) free.push_back(t);
    if (free.empty()) return;
    Incident incident{};
    incident.Tuner = free[random_() % free.size()];
    incident.What = static_cast<Kind>(random_() % kinds_);
    incident.At = now;
    incident.BackAt = now;
    incident.LastBefore = hosts_[incident.Tuner]->LastChunk();
    const ULONGLONG away = 1000 + random_() % 3000;
    switch (incident.What) {
        case Unplug: Apply(SimDeviceEvent::Unplug, incident.Tuner); incident.ReturnDue = now + away; break;
        case Stall: Apply(SimDeviceEvent::Stall, incident.Tuner); break;
        case NoSignal: Apply(SimDeviceEvent::NoSignal, incident.Tuner); incident.ReturnDue = now + away; break;
        case SilentUnplug:
            Apply(SimDeviceEvent::SilentUnplug, incident.Tuner);
            incident.ReturnDue = now + away;
            break;
        case SlowAbort:
            incident.SlowMs = 1000 + random_() % 4000;
            SimDeviceEvents::SetRunDelay(sim_.Device(incident.Tuner)->Path(),
                                         static_cast<uint32_t>(incident.SlowMs), sim_.Control());
            Apply(SimDeviceEvent::Abort, incident.Tuner);
            break;
        default: Apply(SimDeviceEvent::Abort, incident.Tuner); break;
    }
    incidents_.push_back(incident);
}

void ChaosSoak::Follow(ULONGLONG now) {
    for (Incident& incident : incidents_) {
        if (incident.ReturnDue != 0 && !incident.Returned && now >= incident.ReturnDue) {
            Apply(incident.What == NoSignal ? SimDeviceEvent::Signal : SimDeviceEvent::Replug,
                  incident.Tuner);
            incident.Returned = true;
            incident.BackAt = Now();
        }
        const bool waiting = incident.ReturnDue == 0 || incident.Returned;
        // The stream's return is the end of the gap the event made.
        Gap gap;
        if (!incident.Recovered && waiting &&
            hosts_[incident.Tuner]->GapAfter(incident.At, incident.BackAt, &gap)) {
            incident.Recovered = true;
            incident.RecoveredAt = gap.End;
            incident.GapMs = gap.End - gap.Start;
            EndSlowPeriod(incident);
        } else if (!incident.Recovered && waiting && now > incident.BackAt + NoGapAfterMs &&
                   hosts_[incident.Tuner]->LastChunk() > incident.BackAt + NoGapAfterMs / 2) {
            incident.Recovered = true;
            incident.Seamless = true;
            incident.RecoveredAt = incident.BackAt;
            EndSlowPeriod(incident);
        }
    }
}

// The host's own calls beside the readers: each must come back within 2 s.
void ChaosSoak::PollHostCalls() {
    for (const std::unique_ptr<HostTuner>& host : hosts_) {
        const ULONGLONG start = Now();
        host->Driver()->GetSignalLevel();
        host->Driver()->IsTunerOpening();
        host->Driver()->GetReadyCount();
        longestHostCall_ = std::max(longestHostCall_, Now() - start);
    }
}

int ChaosSoak::Run(double minutes) {
    for (unsigned t = 0; t < Tuners; ++t) {
        IBonDriver2* driver = drivers_[t]->Get();
        sim_.Device(t)->SetBitRate(Rates[t]);
        if (driver == nullptr || !driver->OpenTuner() || !driver->SetChannel(0u, t)) {
            std::printf("chaos soak: tuner %u cannot be opened and tuned\n", t);
            return 1;
        }
        const ULONGLONG chunkMs = static_cast<ULONGLONG>(192512 * 8 * 1000.0 / Rates[t]);
        hosts_.emplace_back(new HostTuner(driver, std::max<ULONGLONG>(80, static_cast<ULONGLONG>(chunkMs * PauseChunks))));
        hosts_.back()->Start();
    }
    Sleep(2000);
    sim_.Control()->CallLog()->Clear();
    const ProcessFigures start = ProcessCensus::Take();
    began_ = Now();
    const ULONGLONG end = Now() + static_cast<ULONGLONG>(minutes * 60000);
    ULONGLONG nextEvent = Now() + 2000 + random_() % 4000;
    while (Now() < end) {
        Sleep(50);
        const ULONGLONG now = Now();
        if (now >= nextEvent) {
            Fire(now);
            nextEvent = now + 2000 + random_() % 4000;
        }
        Follow(now);
        PollHostCalls();
        // The simulator's record of every call would count as the driver's memory.
        rebuilds_ += sim_.Control()->CallLog()->Count(SimOp::SetTunerMode);
        sim_.Control()->CallLog()->Clear();
    }
    // Every device back, and every stream given its time to return.
    const ULONGLONG settle = Now() + RecoveryBoundMs;
    while (Now() < settle) {
        Sleep(50);
        Follow(Now());
        bool all = true;
        for (const Incident& incident : incidents_) all = all && incident.Recovered;
        if (all) break;
    }
    Sleep(1000);
    rebuilds_ += sim_.Control()->CallLog()->Count(SimOp::SetTunerMode);
    sim_.Control()->CallLog()->Clear();
    const ProcessFigures finish = ProcessCensus::Take();
    for (const std::unique_ptr<HostTuner>& host : hosts_) {
        host->Stop();
        longestHostCall_ = std::max(longestHostCall_, host->LongestCall());
    }
    Report(minutes, start, finish);
    for (const std::unique_ptr<LoadedDriver>& driver : drivers_) driver->Get()->CloseTuner();
    return hangs_ == 0 ? 0 : 1;
}

void ChaosSoak::Report(double minutes, const ProcessFigures& start, const ProcessFigures& end) {
    unsigned byKind[KindCount] = {};
    std::vector<ULONGLONG> recoverMs;
    std::vector<double> lostMB;
    unsigned recovered = 0, seamless = 0;
    for (const Incident& incident : incidents_) {
        if (std::getenv("CHAOS_LOG") != nullptr)
            std::printf("  %s tuner %u at %.1f s, back %.1f, gap %.1f s, recovered %.1f\n",
                        KindNames[incident.What], incident.Tuner, (incident.At - began_) / 1000.0,
                        (incident.BackAt - began_) / 1000.0, incident.GapMs / 1000.0,
                        incident.Recovered ? (incident.RecoveredAt - began_) / 1000.0 : -1.0);
        ++byKind[incident.What];
        if (!incident.Recovered ||
            incident.RecoveredAt - incident.BackAt > RecoveryBoundMs + incident.SlowMs) {
            ++hangs_;
            PrintFigure("not recovered: %s on tuner %u at %.1f s%s\n", KindNames[incident.What],
                        incident.Tuner, (incident.At - began_) / 1000.0,
                        incident.ReturnDue != 0 && !incident.Returned ? ", never returned" : "");
            continue;
        }
        ++recovered;
        if (incident.Seamless) {
            ++seamless;
            continue;
        }
        recoverMs.push_back(incident.RecoveredAt - std::max(incident.BackAt, incident.At));
        lostMB.push_back(incident.GapMs / 1000.0 * Rates[incident.Tuner] / 8 / 1e6);
    }
    if (longestHostCall_ > CallBoundMs) ++hangs_;
    PrintFigure("chaos soak %.1f min%s, %u tuners at 16/30/45/60 Mbit/s: %zu events (unplug %u, "
                "stall %u, nosignal %u, abort %u, unplug without event %u, abort while slow %u)\n",
                minutes, kinds_ == KindCount ? " (unkind)" : "", Tuners, incidents_.size(),
                byKind[Unplug], byKind[Stall], byKind[NoSignal], byKind[Abort], byKind[SilentUnplug],
                byKind[SlowAbort]);
    PrintFigure("recoveries %u of %zu (%u without a visible gap); time to recover median %llu ms, "
                "max %llu ms; %zu graphs rebuilt\n",
                recovered, incidents_.size(), seamless, static_cast<unsigned long long>(Median(recoverMs)),
                static_cast<unsigned long long>(recoverMs.empty() ? 0 : *std::max_element(
                                                                         recoverMs.begin(), recoverMs.end())),
                rebuilds_);
    PrintFigure("bytes lost per event: median %.1f MB, max %.1f MB\n", Median(lostMB),
                lostMB.empty() ? 0.0 : *std::max_element(lostMB.begin(), lostMB.end()));
    PrintFigure("hangs: %u (longest host call %llu ms)\n", hangs_,
                static_cast<unsigned long long>(longestHostCall_));
    const ProcessFigures growth = ProcessCensus::Growth(start, end);
    const ProcessFigures control = WineGraphControl(static_cast<int>(rebuilds_));
    PrintFigure("process at start: %s\n", ProcessCensus::Describe(start).c_str());
    PrintFigure("process at end:   %s\n", ProcessCensus::Describe(end).c_str());
    PrintFigure("growth:           %s\n", ProcessCensus::Describe(growth).c_str());
    PrintFigure("Wine's own for %zu filter graphs: %s\n", rebuilds_,
                ProcessCensus::Describe(control).c_str());
    // Wine's device enumerator keeps registry keys open after every walk of
    // a category (each rebuild walks two, a lost tuner is looked for every
    // second or two); the driver itself opens no registry key.
    const auto keys = growth.HandlesByType.find("Key");
    const long walkKeys = keys != growth.HandlesByType.end() ? keys->second : 0;
    const long beyond = growth.Handles - control.Handles - walkKeys;
    PrintFigure("beyond Wine's own (its graphs, and %ld registry keys of its device walks): "
                "%+ld handles (%.2f per rebuilt graph), %+.1f MiB private\n",
                walkKeys, beyond, rebuilds_ != 0 ? static_cast<double>(beyond) / rebuilds_ : 0.0,
                (growth.PrivateBytes - control.PrivateBytes) / 1048576.0);
}


}  // namespace

int main(int argc, char** argv) {
    // --unkind anywhere; the rest is --minutes M.
    bool unkind = false;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--unkind") == 0) unkind = true;
        else rest.push_back(argv[i]);
    }
    const double minutes =
        MinutesArgument(static_cast<int>(rest.size()), rest.data(), DefaultMinutes);
    if (minutes <= 0.0) {
        std::printf("usage: ChaosSoakBench [--minutes M] [--unkind]   (default %.0f)\n",
                    DefaultMinutes);
        return 2;
    }
    SimDeviceEvents::Forget();
    SimulatedTuner sim(L"" SIM_DLL_PATH, Tuners);
    if (!sim.Ready()) return 1;
    std::vector<std::unique_ptr<LoadedDriver>> drivers;
    for (unsigned t = 0; t < Tuners; ++t)
        drivers.emplace_back(new LoadedDriver(L"" DRIVER_DLL_PATH, SimulatedTuner::Name, sim.DeviceId(t),
                                              L"BonDriver_TesselBDA_" + std::to_wstring(t),
                                              L"StallSeconds=2"));
    ChaosSoak soak(sim, std::move(drivers), unkind);
    const int result = soak.Run(minutes);
    SimDeviceEvents::Forget();
    return result;
}
