// A tuner that goes away and comes back, as a timeline matrix: each event
// (unplug, replug, stall, flow, no signal, signal, abort) meets each thing a
// host may be doing at that moment (reading, waiting without limit,
// changing channel, closing, releasing), with self-recovery on and off. Per
// row: no host call takes longer than 2 s, nothing the simulator counts is
// left alive after the release, and the stream comes back within 3 s of the
// device's return (with self-recovery) or not at all (without it, for the
// events only a rebuild mends). The matrix is printed whole.
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimDeviceEvents.h"
#include "sim/SimRegistry.h"
#include "tests/windows/DriverHarness.h"

namespace {

constexpr DWORD CallBoundMs = 2000;
constexpr DWORD BackBoundMs = 3000;
// With StallSeconds=1: no sample for a second, then the once-a-second check.
constexpr DWORD StallDetectMs = 2000;
// How long a row without self-recovery watches for a stream that must not come.
constexpr DWORD NotBackWatchMs = 3500;
constexpr DWORD LossNoticedMs = 1000;

enum class Event { Unplug, Replug, Stall, Flow, NoSignal, Signal, Abort };
enum class Activity { Reading, WaitingWithoutLimit, ChangingChannel, Closing, Releasing };

const char* const EventNames[] = {"unplug", "replug", "stall", "flow", "nosignal", "signal", "abort"};
const char* const ActivityNames[] = {"reading", "waiting without limit", "changing channel",
                                     "closing", "releasing"};

// What the device does at the row's moment, and what brings it back.
struct EventPlan {
    std::vector<SimDeviceEvent> Before;  // applied before the moment (and their effect awaited)
    SimDeviceEvent At;                   // applied at the moment
    std::vector<SimDeviceEvent> Return;  // applied after the moment: the device is back
    bool NeedsRebuild;                   // only a rebuilt graph streams again
    DWORD ExtraBackMs;                   // a stall is noticed first
    DWORD HoldMs = LossNoticedMs;        // from the moment to the return
};

EventPlan PlanOf(Event event) {
    switch (event) {
        case Event::Unplug: return {{}, SimDeviceEvent::Unplug, {SimDeviceEvent::Replug}, true, 0};
        case Event::Replug: return {{SimDeviceEvent::Unplug}, SimDeviceEvent::Replug, {}, true, 0};
        case Event::Stall: return {{}, SimDeviceEvent::Stall, {}, true, StallDetectMs};
        case Event::Flow: return {{SimDeviceEvent::Stall}, SimDeviceEvent::Flow, {}, false, 0};
        // Longer than a stall takes to be noticed: no signal is no stall.
        case Event::NoSignal:
            return {{}, SimDeviceEvent::NoSignal, {SimDeviceEvent::Signal}, false, 0, 2500};
        case Event::Signal: return {{SimDeviceEvent::NoSignal}, SimDeviceEvent::Signal, {}, false, 0};
        case Event::Abort: return {{}, SimDeviceEvent::Abort, {}, true, 0};
    }
    return {};
}

// A host's reception thread: WaitTsStream (with or without a limit), then
// GetTsStream until the queue is empty; it stops by itself on 128.
class Reader {
public:
    Reader(IBonDriver2* driver, bool withoutLimit) : driver_(driver) {
        thread_ = std::thread([this, withoutLimit] { Loop(withoutLimit); });
    }
    ~Reader() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    uint64_t Chunks() const { return chunks_.load(); }
    bool Ended() const { return ended_.load(); }
    // Longest a single wait took that did not end with data or a close.
    DWORD LongestIdleWaitMs() const { return longestIdle_.load(); }

private:
    void Loop(bool withoutLimit) {
        for (;;) {
            const ULONGLONG start = GetTickCount64();
            const DWORD woke = driver_->WaitTsStream(withoutLimit ? 0 : 200);
            if (woke == 128) break;
            if (woke != WAIT_OBJECT_0) {
                const DWORD took = static_cast<DWORD>(GetTickCount64() - start);
                if (took > longestIdle_.load()) longestIdle_.store(took);
            }
            BYTE* data = nullptr;
            DWORD size = 0, remaining = 0;
            while (driver_->GetTsStream(&data, &size, &remaining))
                if (size != 0) ++chunks_;
        }
        ended_ = true;
    }

    IBonDriver2* driver_;
    std::atomic<uint64_t> chunks_{0};
    std::atomic<bool> ended_{false};
    std::atomic<DWORD> longestIdle_{0};
    std::thread thread_;
};

struct RowOutcome {
    bool Bounded = true;    // every host call returned within 2 s
    bool NoLeak = true;     // nothing of the simulator alive after the release
    bool StreamAsDue = true;  // back within 3 s (or not back, as due)
    std::string Note;
};

class TunerRecovery : public DriverHarness {
protected:
    void Apply(SimDeviceEvent event) {
        ASSERT_TRUE(SUCCEEDED(SimDeviceEvents::Apply(event, tuners_.at(0).devicePath)));
    }
    void WriteRecoveryIni(bool autoRecover, const std::string& network = "ISDBT") {
        WriteDefaultIni(network);
        std::FILE* file = _wfopen((folder_ + L"\\BonDriver_TesselBDA.ini").c_str(), L"ab");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "AutoRecover=%d\r\nStallSeconds=1\r\n", autoRecover ? 1 : 0);
        std::fclose(file);
    }
    // Runs `call` and notes when it took longer than `boundMs`.
    template <class Call>
    void TimedWithin(RowOutcome* outcome, const char* what, ULONGLONG boundMs, Call call) {
        const ULONGLONG start = GetTickCount64();
        call();
        const ULONGLONG took = GetTickCount64() - start;
        if (took > boundMs) {
            outcome->Bounded = false;
            outcome->Note += std::string(what) + " took " + std::to_string(took) + " ms; ";
        }
    }
    template <class Call>
    void Timed(RowOutcome* outcome, const char* what, Call call) {
        TimedWithin(outcome, what, CallBoundMs, call);
    }
    // Whether TS reaches the host within `ms` from now: through the reader
    // when there is one, else by what is queued.
    bool StreamsWithin(IBonDriver2* driver, const Reader* reader, DWORD ms) {
        const uint64_t before = reader != nullptr ? reader->Chunks() : 0;
        if (reader == nullptr) driver->PurgeTsStream();
        return WaitUntil([&] {
            return reader != nullptr ? reader->Chunks() > before + 1 : driver->GetReadyCount() > 1;
        }, ms);
    }

    // Self-recovery on, the driver loaded, opened, tuned to `channel` of the
    // first space and streaming; null (with a failure noted) otherwise.
    IBonDriver2* OpenStreaming(DWORD channel) {
        WriteRecoveryIni(true);
        IBonDriver2* driver = LoadDriver();
        const bool streaming = driver != nullptr && driver->OpenTuner() &&
                               driver->SetChannel(0u, channel) && StreamsWithin(driver, nullptr, 5000);
        EXPECT_TRUE(streaming) << "the tuner did not open, tune and stream";
        return streaming ? driver : nullptr;
    }
    RowOutcome RunRow(Event event, Activity activity, bool autoRecover);
    void RunMatrix(bool autoRecover);
    RowOutcome RunUnkindRow(int mode, Activity activity);
    template <class Export>
    Export DriverExport(const char* name) {
        return reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
};

RowOutcome TunerRecovery::RunRow(Event event, Activity activity, bool autoRecover) {
    RowOutcome outcome;
    const EventPlan plan = PlanOf(event);
    sim_->Reset();
    SimDeviceEvents::Forget();
    WriteRecoveryIni(autoRecover);
    IBonDriver2* driver = LoadDriver();
    if (driver == nullptr || !driver->OpenTuner() || !driver->SetChannel(0u, 0u)) {
        outcome.StreamAsDue = false;
        outcome.Note = "did not open";
        return outcome;
    }
    std::unique_ptr<Reader> reader;
    if (activity == Activity::Reading || activity == Activity::WaitingWithoutLimit)
        reader.reset(new Reader(driver, activity == Activity::WaitingWithoutLimit));
    if (!StreamsWithin(driver, reader.get(), 5000)) outcome.Note += "no stream at first; ";
    for (SimDeviceEvent before : plan.Before) Apply(before);
    if (!plan.Before.empty()) Sleep(LossNoticedMs);

    // The moment.
    Apply(plan.At);
    bool released = false, closed = false;
    switch (activity) {
        case Activity::ChangingChannel:
            for (int round = 0; round < 6; ++round) {
                Timed(&outcome, "SetChannel", [&] { driver->SetChannel(0u, static_cast<DWORD>(round % 2)); });
                Sleep(100);
            }
            break;
        case Activity::Closing:
            Timed(&outcome, "CloseTuner", [&] { driver->CloseTuner(); });
            closed = true;
            break;
        case Activity::Releasing:
            // The library stays loaded until the row's end: the reader may
            // still be inside a call.
            Timed(&outcome, "Release", [&] { driver->Release(); });
            released = true;
            break;
        default:
            break;
    }
    Timed(&outcome, "GetSignalLevel", [&] { driver->GetSignalLevel(); });
    const size_t rebuildsBefore = Calls(SimOp::SetTunerMode).size();
    for (SimDeviceEvent back : plan.Return) {
        Sleep(plan.HoldMs);
        Apply(back);
    }

    if (released || closed) {
        // A closed or released tuner is not brought back by anyone.
        Sleep(BackBoundMs);
        if (Alive(SimObject::TunerFilter) != 0) {
            outcome.StreamAsDue = false;
            outcome.Note += "a graph came back after the host closed; ";
        }
        if (closed) {
            // The host's own recovery works: it opens the tuner again.
            if (!driver->OpenTuner() || !driver->SetChannel(0u, 0u) ||
                !StreamsWithin(driver, nullptr, BackBoundMs)) {
                outcome.StreamAsDue = false;
                outcome.Note += "the host could not open the tuner again; ";
            }
        }
    } else {
        if (activity == Activity::ChangingChannel && autoRecover)
            Timed(&outcome, "SetChannel", [&] { driver->SetChannel(0u, 0u); });
        const bool comesBack = autoRecover || !plan.NeedsRebuild;
        const DWORD watch = comesBack ? BackBoundMs + plan.ExtraBackMs : NotBackWatchMs;
        const bool streamed = StreamsWithin(driver, reader.get(), watch);
        if (streamed != comesBack) {
            outcome.StreamAsDue = false;
            outcome.Note += streamed ? "streamed without a rebuild; " : "not back in time; ";
        }
        Timed(&outcome, "IsTunerOpening", [&] {
            if (!driver->IsTunerOpening()) outcome.Note += "no longer open; ";
        });
        if ((event == Event::NoSignal || event == Event::Signal) &&
            Calls(SimOp::SetTunerMode).size() != rebuildsBefore) {
            outcome.StreamAsDue = false;
            outcome.Note += "rebuilt for a channel without signal; ";
        }
        if (reader != nullptr && reader->LongestIdleWaitMs() > 300 &&
            activity == Activity::Reading) {
            outcome.Bounded = false;
            outcome.Note += "a 200 ms wait took " + std::to_string(reader->LongestIdleWaitMs()) + " ms; ";
        }
    }
    Timed(&outcome, "Release", [&] { driver->Release(); });
    if (reader != nullptr) {
        // The reader ends by itself on 128 once the object is released.
        if (!WaitUntil([&] { return reader->Ended(); }, CallBoundMs)) {
            outcome.Bounded = false;
            outcome.Note += "the reader did not end; ";
        }
        reader->Join();
    }
    ReleaseDriver();  // a second Release, refused, and the unload
    for (SimObject kind : {SimObject::TunerFilter, SimObject::NetworkProvider,
                           SimObject::NullTerminal, SimObject::Pin})
        if (Alive(kind) != 0) outcome.NoLeak = false;
    if (!outcome.NoLeak) outcome.Note += "simulator objects left; ";
    return outcome;
}

void TunerRecovery::RunMatrix(bool autoRecover) {
    ExtendBound(900);
    std::vector<std::string> lines;
    int bad = 0;
    for (int e = 0; e <= static_cast<int>(Event::Abort); ++e) {
        for (int a = 0; a <= static_cast<int>(Activity::Releasing); ++a) {
            const RowOutcome row = RunRow(static_cast<Event>(e), static_cast<Activity>(a), autoRecover);
            char line[256];
            std::snprintf(line, sizeof line, "%-9s %-22s %-8s %-8s %-8s %s", EventNames[e],
                          ActivityNames[a], row.Bounded ? "yes" : "NO", row.NoLeak ? "yes" : "NO",
                          row.StreamAsDue ? "yes" : "NO", row.Note.c_str());
            lines.push_back(line);
            if (!row.Bounded || !row.NoLeak || !row.StreamAsDue) {
                ++bad;
                ADD_FAILURE() << line;
            }
        }
    }
    std::printf("\nAutoRecover=%d\n%-9s %-22s %-8s %-8s %-8s\n", autoRecover ? 1 : 0, "event",
                "host doing", "bounded", "no leak", "stream");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::printf("%d of %zu rows as due\n", static_cast<int>(lines.size()) - bad, lines.size());
    std::fflush(stdout);
}

// ---- unkind devices ---------------------------------------------------------

// Devices less kind than the plain simulator: gone without a word, slow to
// start a stream, components registered apartment-threaded; and hosts whose
// wishes a recovery must keep: the hardware PID filter on with nothing
// added, a channel asked for while the tuner is lost, LNB power on a dish.
enum class Unkind { SilentUnplug, SlowRebuild, ApartmentClasses, HostFilterOn, WishWhileLost, Lnb };
const char* const UnkindNames[] = {"unplug, no event", "slow rebuild",   "apartment classes",
                                   "host filter on",   "wish when lost", "LNB on ISDB-S"};
constexpr DWORD SlowRunMs = 5000;
constexpr DWORD WishedChannel = 5;         // 18ch
constexpr uint32_t WishedFrequency = 503143;
constexpr uint16_t FilterOnPid = 0x1EEE;
constexpr uint16_t NullPid = 0x1FFF;

typedef int32_t(__cdecl* SwitchExport)(int32_t);
typedef int32_t(__cdecl* ValueExport)(uint32_t);
typedef int32_t(__cdecl* AddPidExport)(uint8_t, const uint16_t*);

RowOutcome TunerRecovery::RunUnkindRow(int modeIndex, Activity activity) {
    const Unkind mode = static_cast<Unkind>(modeIndex);
    RowOutcome outcome;
    sim_->Reset();
    SimDeviceEvents::Forget();
    if (mode == Unkind::ApartmentClasses) SimRegistry::SetThreadingModel(L"Apartment");
    WriteRecoveryIni(true, mode == Unkind::Lnb ? "ISDBS" : "ISDBT");
    IBonDriver2* driver = LoadDriver();
    if (driver == nullptr || !driver->OpenTuner() || !driver->SetChannel(0u, 0u)) {
        outcome.StreamAsDue = false;
        outcome.Note = "did not open";
        SimRegistry::SetThreadingModel(L"Both");
        return outcome;
    }
    std::unique_ptr<Reader> reader;
    if (activity == Activity::Reading || activity == Activity::WaitingWithoutLimit)
        reader.reset(new Reader(driver, activity == Activity::WaitingWithoutLimit));
    if (!StreamsWithin(driver, reader.get(), 5000)) outcome.Note += "no stream at first; ";
    const std::wstring path = tuners_.at(0).devicePath;
    if (mode == Unkind::Lnb) DriverExport<ValueExport>("TesselBonDriver_SetLNBPower")(1);
    // The old channel's PIDs in the map: the wished channel must not get them.
    const uint16_t oldChannelPid = 0x0100;
    if (mode == Unkind::WishWhileLost)
        DriverExport<AddPidExport>("TesselBonDriver_SetHardwarePidFilterAddPID")(1, &oldChannelPid);
    if (mode == Unkind::HostFilterOn) {
        DriverExport<SwitchExport>("TesselBonDriver_EnableDisableHardwarePidFilter")(1);
        // Three times StallSeconds of the host's own silence: no rebuild.
        const size_t opens = Calls(SimOp::SetTunerMode).size();
        Sleep(3000);
        if (Calls(SimOp::SetTunerMode).size() != opens) {
            outcome.StreamAsDue = false;
            outcome.Note += "rebuilt for the host's own silence; ";
        }
    }
    const size_t opens = Calls(SimOp::SetTunerMode).size();

    // The moment.
    switch (mode) {
        case Unkind::SilentUnplug: Apply(SimDeviceEvent::SilentUnplug); break;
        case Unkind::SlowRebuild:
            SimDeviceEvents::SetRunDelay(path, SlowRunMs, sim_);
            Apply(SimDeviceEvent::Abort);
            // The rebuild is under way: its Run waits for the device.
            if (!WaitUntil([&] { return Calls(SimOp::SetTunerMode).size() > opens; }, CallBoundMs))
                outcome.Note += "no rebuild began; ";
            break;
        case Unkind::ApartmentClasses:
        case Unkind::HostFilterOn: Apply(SimDeviceEvent::Abort); break;
        case Unkind::WishWhileLost:
        case Unkind::Lnb:
            Apply(SimDeviceEvent::Unplug);
            Sleep(LossNoticedMs / 2);
            break;
    }
    const DWORD closeBound = CallBoundMs + (mode == Unkind::SlowRebuild ? SlowRunMs : 0);
    bool released = false, closed = false;
    switch (activity) {
        case Activity::ChangingChannel:
            for (int round = 0; round < 6; ++round) {
                Timed(&outcome, "SetChannel", [&] { driver->SetChannel(0u, static_cast<DWORD>(round % 2)); });
                Sleep(100);
            }
            break;
        case Activity::Closing:
            TimedWithin(&outcome, "CloseTuner", closeBound, [&] { driver->CloseTuner(); });
            closed = true;
            break;
        case Activity::Releasing:
            TimedWithin(&outcome, "Release", closeBound, [&] { driver->Release(); });
            released = true;
            break;
        default:
            break;
    }
    if (!released && !closed) {
        Timed(&outcome, "GetSignalLevel", [&] { driver->GetSignalLevel(); });
        Timed(&outcome, "GetCurChannel", [&] { driver->GetCurChannel(); });
        if (mode == Unkind::WishWhileLost) {
            Timed(&outcome, "SetChannel", [&] {
                if (driver->SetChannel(0u, WishedChannel)) outcome.Note += "tuned a lost tuner; ";
            });
        }
    }
    // The device comes back (a silent loss is noticed first: a second of
    // silence, the signal call that fails, the look that misses it).
    uint64_t backSequence = 0;
    if (mode == Unkind::SilentUnplug || mode == Unkind::WishWhileLost || mode == Unkind::Lnb) {
        Sleep(mode == Unkind::SilentUnplug ? 2500 : LossNoticedMs);
        Apply(SimDeviceEvent::Replug);
        backSequence = sim_->CallLog()->Find(SimOp::Replug).back().Sequence;
    }

    if (released || closed) {
        Sleep(BackBoundMs);
        if (Alive(SimObject::TunerFilter) != 0) {
            outcome.StreamAsDue = false;
            outcome.Note += "a graph came back after the host closed; ";
        }
        SimDeviceEvents::SetRunDelay(path, 0, sim_);
        if (closed && (!driver->OpenTuner() || !driver->SetChannel(0u, 0u) ||
                       !StreamsWithin(driver, nullptr, BackBoundMs))) {
            outcome.StreamAsDue = false;
            outcome.Note += "the host could not open the tuner again; ";
        }
    } else if (mode == Unkind::ApartmentClasses) {
        // No self-recovery for this open: the host's own close and open mend it.
        if (StreamsWithin(driver, reader.get(), NotBackWatchMs) ||
            Calls(SimOp::SetTunerMode).size() != opens) {
            outcome.StreamAsDue = false;
            outcome.Note += "recovered by itself with apartment-bound classes; ";
        }
        Timed(&outcome, "CloseTuner", [&] { driver->CloseTuner(); });
        if (!driver->OpenTuner() || !driver->SetChannel(0u, 0u) ||
            !StreamsWithin(driver, nullptr, BackBoundMs)) {
            outcome.StreamAsDue = false;
            outcome.Note += "the host could not open the tuner again; ";
        }
    } else if (mode == Unkind::HostFilterOn) {
        // Back as the device had it: on, passing only 0x1EEE, or, after the
        // host changed channel, only the null packets a tune resets it to;
        // off again, TS flows.
        const std::vector<uint16_t> list = {activity == Activity::ChangingChannel ? NullPid : FilterOnPid};
        const bool restored = WaitUntil([&] {
            const SimDeviceState state = Device()->State();
            return Calls(SimOp::SetTunerMode).size() > opens && state.PidFilterOn && state.PidList == list;
        }, BackBoundMs);
        if (!restored) {
            outcome.StreamAsDue = false;
            outcome.Note += "the filter did not come back on with only " +
                            std::to_string(list[0]) + "; ";
        }
        DriverExport<SwitchExport>("TesselBonDriver_EnableDisableHardwarePidFilter")(0);
        if (!StreamsWithin(driver, reader.get(), BackBoundMs)) {
            outcome.StreamAsDue = false;
            outcome.Note += "no TS once the host switched its filter off; ";
        }
    } else {
        const DWORD watch = BackBoundMs + (mode == Unkind::SlowRebuild ? SlowRunMs : 0);
        if (!StreamsWithin(driver, reader.get(), watch)) {
            outcome.StreamAsDue = false;
            outcome.Note += "not back in time; ";
        }
        const SimDeviceState state = Device()->State();
        if (mode == Unkind::WishWhileLost &&
            (state.CurrentTune.Tail.Frequency != WishedFrequency ||
             driver->GetCurChannel() != WishedChannel || driver->GetCurSpace() != 0)) {
            outcome.StreamAsDue = false;
            outcome.Note += "the stream is not the channel last asked for; ";
        }
        if (mode == Unkind::WishWhileLost &&
            state.PidList != std::vector<uint16_t>{NullPid}) {
            outcome.StreamAsDue = false;
            outcome.Note += "the old channel's PIDs were restored onto the new one; ";
        }
        if (mode == Unkind::Lnb) {
            uint64_t lnbAt = 0, tuneAt = 0;
            for (const SimCall& call : sim_->CallLog()->Entries()) {
                if (call.Sequence <= backSequence) continue;
                if (call.Op == SimOp::SetLNBPower && lnbAt == 0) lnbAt = call.Sequence;
                if (call.Op == SimOp::SetFrequency && tuneAt == 0) tuneAt = call.Sequence;
            }
            if (lnbAt == 0 || tuneAt == 0 || lnbAt > tuneAt || state.LnbPowerValue != 1) {
                outcome.StreamAsDue = false;
                outcome.Note += "LNB power was not restored before the retune; ";
            }
        }
    }
    if (!released) Timed(&outcome, "Release", [&] { driver->Release(); });
    if (reader != nullptr) {
        if (!WaitUntil([&] { return reader->Ended(); }, closeBound)) {
            outcome.Bounded = false;
            outcome.Note += "the reader did not end; ";
        }
        reader->Join();
    }
    ReleaseDriver();
    for (SimObject kind : {SimObject::TunerFilter, SimObject::NetworkProvider,
                           SimObject::NullTerminal, SimObject::Pin})
        if (Alive(kind) != 0) outcome.NoLeak = false;
    if (!outcome.NoLeak) outcome.Note += "simulator objects left; ";
    SimRegistry::SetThreadingModel(L"Both");
    return outcome;
}

}  // namespace

TEST_F(TunerRecovery, UnkindDevicesAndHostWishes) {
    ExtendBound(900);
    std::vector<std::string> lines;
    int bad = 0;
    for (int m = 0; m <= static_cast<int>(Unkind::Lnb); ++m) {
        for (int a = 0; a <= static_cast<int>(Activity::Releasing); ++a) {
            const RowOutcome row = RunUnkindRow(m, static_cast<Activity>(a));
            char line[320];
            std::snprintf(line, sizeof line, "%-18s %-22s %-8s %-8s %-8s %s", UnkindNames[m],
                          ActivityNames[a], row.Bounded ? "yes" : "NO", row.NoLeak ? "yes" : "NO",
                          row.StreamAsDue ? "yes" : "NO", row.Note.c_str());
            lines.push_back(line);
            if (!row.Bounded || !row.NoLeak || !row.StreamAsDue) {
                ++bad;
                ADD_FAILURE() << line;
            }
        }
    }
    std::printf("\n%-18s %-22s %-8s %-8s %-8s\n", "unkind", "host doing", "bounded", "no leak",
                "as due");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::printf("%d of %zu rows as due\n", static_cast<int>(lines.size()) - bad, lines.size());
    std::fflush(stdout);
}


TEST_F(TunerRecovery, TimelineMatrixWithSelfRecovery) { RunMatrix(true); }

TEST_F(TunerRecovery, TimelineMatrixWithoutSelfRecovery) { RunMatrix(false); }

// The host's own way back: an object created while the tuner was unplugged
// selects it at OpenTuner once it is there; SetChannel on a lost tuner fails
// at once and works once the tuner is back.
TEST_F(TunerRecovery, HostRecoveryWorksWheneverTheDeviceIsThere) {
    WriteRecoveryIni(true);
    Apply(SimDeviceEvent::Unplug);
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(driver->OpenTuner());
    Apply(SimDeviceEvent::Replug);
    ASSERT_TRUE(driver->OpenTuner()) << "the tuner was not selected again at OpenTuner";
    ASSERT_TRUE(driver->SetChannel(0u, 1u));
    ASSERT_TRUE(StreamsWithin(driver, nullptr, BackBoundMs));
    Apply(SimDeviceEvent::Unplug);
    ASSERT_TRUE(WaitUntil([&] { return driver->GetSignalLevel() == 0.0f; }, CallBoundMs));
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(driver->SetChannel(0u, 0u));
    EXPECT_LT(GetTickCount64() - start, 500u) << "SetChannel on a lost tuner must fail at once";
    EXPECT_TRUE(driver->IsTunerOpening()) << "the host's open stays while the driver recovers";
    Apply(SimDeviceEvent::Replug);
    // The driver's own rebuild retunes channel 1; the host's next change works.
    ASSERT_TRUE(WaitUntil([&] { return driver->SetChannel(0u, 0u) == TRUE; }, BackBoundMs));
    EXPECT_TRUE(StreamsWithin(driver, nullptr, BackBoundMs));
}

// One tuner through a whole evening: every kind of event in a row, each met
// by a rebuilt graph that the next event hits in turn.
TEST_F(TunerRecovery, RecoversAgainAfterEachRebuild) {
    ExtendBound(300);
    IBonDriver2* driver = OpenStreaming(2);
    ASSERT_NE(driver, nullptr);
    Reader reader(driver, false);
    ASSERT_TRUE(StreamsWithin(driver, &reader, 5000));
    const std::vector<std::vector<SimDeviceEvent>> evening = {
        {SimDeviceEvent::Abort}, {SimDeviceEvent::Unplug, SimDeviceEvent::Replug},
        {SimDeviceEvent::Abort}, {SimDeviceEvent::Stall}, {SimDeviceEvent::Abort},
        {SimDeviceEvent::NoSignal, SimDeviceEvent::Signal}, {SimDeviceEvent::Abort}};
    for (size_t i = 0; i < evening.size(); ++i) {
        for (SimDeviceEvent event : evening[i]) {
            Apply(event);
            Sleep(LossNoticedMs);
        }
        EXPECT_TRUE(StreamsWithin(driver, &reader, BackBoundMs + StallDetectMs)) << "event " << i;
    }
    const size_t opens = Calls(SimOp::SetTunerMode).size();
    EXPECT_GE(opens, 6u) << "one open and a rebuild for each abort, unplug and stall";
    driver->Release();
    reader.Join();
}

// A device that takes ten seconds to start its stream while the driver
// rebuilds: CloseTuner returns within 2 s of that Run; and a Release that a
// message handler makes while CloseTuner waits for the recovery thread
// (WaitTsStream-free hosts pump messages in such waits) leaves that thread
// a graph to finish with, and the process whole.
TEST_F(TunerRecovery, CloseAndReleaseWaitOnlyForARunUnderWay) {
    ExtendBound(180);
    constexpr DWORD VerySlowMs = 10000;
    WriteRecoveryIni(true);
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    const std::wstring path = tuners_.at(0).devicePath;
    auto abortUnderSlowRun = [&] {
        EXPECT_TRUE(driver->OpenTuner());
        EXPECT_TRUE(driver->SetChannel(0u, 0u));
        EXPECT_TRUE(StreamsWithin(driver, nullptr, 5000));
        const size_t opens = Calls(SimOp::SetTunerMode).size();
        SimDeviceEvents::SetRunDelay(path, VerySlowMs, sim_);
        Apply(SimDeviceEvent::Abort);
        EXPECT_TRUE(WaitUntil([&] { return Calls(SimOp::SetTunerMode).size() > opens; }, CallBoundMs));
        return GetTickCount64();  // the rebuild's Run begins about now
    };

    ULONGLONG runBegan = abortUnderSlowRun();
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(driver->SetChannel(0u, 1u));
    EXPECT_LT(GetTickCount64() - start, CallBoundMs) << "SetChannel waited behind the rebuild";
    driver->CloseTuner();
    const ULONGLONG closed = GetTickCount64();
    EXPECT_LE(closed, runBegan + VerySlowMs + CallBoundMs) << "CloseTuner took " << closed - start;
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0) << "the rebuilt graph went with the close";
    SimDeviceEvents::SetRunDelay(path, 0, sim_);

    // Release from a message handled inside CloseTuner's wait.
    struct Host {
        static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
            if (message == WM_APP) {
                reinterpret_cast<IBonDriver2*>(l)->Release();
                return 1;
            }
            return DefWindowProcW(window, message, w, l);
        }
    };
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &Host::Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TunerRecoveryReleaseHost";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"TunerRecoveryReleaseHost", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    runBegan = abortUnderSlowRun();
    std::atomic<LRESULT> handled{0};
    std::thread sender([&] {
        Sleep(1000);  // CloseTuner is waiting for the recovery thread by now
        handled = SendMessageW(window, WM_APP, 0, reinterpret_cast<LPARAM>(driver));
    });
    start = GetTickCount64();
    driver->CloseTuner();
    sender.join();
    EXPECT_EQ(handled.load(), 1);
    EXPECT_LE(GetTickCount64(), runBegan + VerySlowMs + 2 * CallBoundMs);
    EXPECT_FALSE(driver->IsTunerOpening()) << "the object ended";
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
    DestroyWindow(window);
    driver_ = nullptr;  // released by the handler
}

// A stall that rebuilds do not cure (it outlasts a new stream) is
// rebuilt twice, then left alone until TS flows again; after that a new
// stall is rebuilt as before.
TEST_F(TunerRecovery, UncuredStallIsRebuiltTwiceThenLeftUntilTsFlows) {
    ExtendBound(120);
    IBonDriver2* driver = OpenStreaming(0);
    ASSERT_NE(driver, nullptr);
    const size_t opens = Calls(SimOp::SetTunerMode).size();
    Device()->SetStallOutlastsRestart(true);
    Apply(SimDeviceEvent::Stall);
    Sleep(12000);
    const size_t rebuilds = Calls(SimOp::SetTunerMode).size() - opens;
    Device()->SetStallOutlastsRestart(false);
    EXPECT_EQ(rebuilds, 2u) << "two rebuilds, then none while the stall stays";
    Apply(SimDeviceEvent::Flow);
    EXPECT_TRUE(StreamsWithin(driver, nullptr, BackBoundMs));
    Apply(SimDeviceEvent::Stall);
    EXPECT_TRUE(WaitUntil([&] { return Calls(SimOp::SetTunerMode).size() > opens + rebuilds; },
                          StallDetectMs + BackBoundMs))
        << "TS flowed again, so a new stall is rebuilt again";
    EXPECT_TRUE(StreamsWithin(driver, nullptr, BackBoundMs));
}

// A filter that refuses to stop leaves its graph kept aside at the rebuild's
// tear-down: the rebuild builds beside that one graph, but never piles a
// second beside two; once the filter stops again, recovery goes on.
TEST_F(TunerRecovery, AGraphKeptAsideIsBuiltBesideOnceButNeverTwice) {
    ExtendBound(120);
    IBonDriver2* driver = OpenStreaming(0);
    ASSERT_NE(driver, nullptr);
    Device()->ArmFault(SimOp::Stop, E_FAIL, SimFaultAlways);
    Apply(SimDeviceEvent::Abort);
    EXPECT_TRUE(StreamsWithin(driver, nullptr, BackBoundMs)) << "one graph kept aside blocked the rebuild";
    EXPECT_EQ(Alive(SimObject::TunerFilter), 2);
    Apply(SimDeviceEvent::Abort);
    Sleep(BackBoundMs);
    EXPECT_EQ(Alive(SimObject::TunerFilter), 2) << "a new graph piled up beside two kept aside";
    Device()->DisarmFaults();
    // The next attempt, after its back-off, sweeps them and builds.
    EXPECT_TRUE(StreamsWithin(driver, nullptr, 12000));
    EXPECT_EQ(Alive(SimObject::TunerFilter), 1);
    ReleaseDriver();
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
}
