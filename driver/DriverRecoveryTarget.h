// DriverRecoveryTarget: what the recovery thread does to the driver object
// (RecoveryTarget), and what it needs to know of the host's stream and
// wishes to do it: when TS last came, what the host last tuned or asked
// for, and how to give a rebuilt graph back what the old one's device had.
//
// Slow work runs without DriverLock. The lock is taken to check that a
// rebuild is still wanted and to take the graph aside (MyFilterGraph::
// SetInService(false): every other caller then sees a lost tuner), again to
// put the built graph in place and make the restores (LNB power first, as a
// dish cannot lock without it, then the channel, then the PID filter), and
// once more to hand a graph torn down aside back. A graph aside belongs to
// this thread alone; CloseTuner and Release leave it to the thread and join
// the thread before the graph object can go.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/TunerRecovery.h"

class CMyBonDriver;
class MyFilterGraph;

class DriverRecoveryTarget final : public RecoveryTarget {
public:
    explicit DriverRecoveryTarget(CMyBonDriver& driver) : driver_(driver) {}

    // ---- what the driver tells it (under DriverLock unless said) ----
    // A new open: nothing tuned or wished yet, the stream begins now.
    void Opened();
    // A sample came (the streaming thread; lock-free).
    void SampleArrived();
    // The host's tune reached the device: the channel a rebuild tunes again.
    void Tuned(uint32_t space, uint32_t channel);
    // The host asked for a channel that exists while the tuner is lost:
    // its latest wish, which the rebuild tunes (and resets the PID filter
    // for, as a tune that succeeded would).
    void Wished(uint32_t space, uint32_t channel);

    // ---- RecoveryTarget (the recovery thread) ----
    StreamFacts Facts() override;
    void DropBrokenGraph(uint32_t generation) override;
    RebuildResult Rebuild(uint32_t generation, ComPtr<IMediaEventEx>* events) override;

private:
    // A graph held aside by the recovery thread: unless it was put in place,
    // it is torn down with DriverLock free when the scope ends and then
    // handed back to service, closed. An exception on the way cannot leave
    // it aside.
    class GraphAside {
    public:
        explicit GraphAside(MyFilterGraph* graph) : graph_(graph) {}
        ~GraphAside();
        GraphAside(const GraphAside&) = delete;
        GraphAside& operator=(const GraphAside&) = delete;
        // In service again, under DriverLock: nothing is left to do.
        void InPlace() { graph_ = nullptr; }

    private:
        MyFilterGraph* graph_;
    };

    RebuildResult RebuildAside(uint32_t generation, ComPtr<IMediaEventEx>* events);
    bool PutInPlace(MyFilterGraph* graph, ComPtr<IMediaEventEx>* events);
    bool RestoreHostSettings(MyFilterGraph* graph);
    void StreamBegins();

    CMyBonDriver& driver_;
    std::atomic<uint64_t> lastSampleMs_{0};
    std::atomic<uint64_t> samples_{0};
    std::atomic<bool> tuned_{false};
    // The channel a rebuilt graph is tuned to: the last tune that reached
    // the device, or a later wish; -1 while none.
    int32_t wantedSpace_ = -1;
    int32_t wantedChannel_ = -1;
};
