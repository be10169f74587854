// Creation and destruction counters of the sim COM objects, for leak checks
// and for proving that the driver never loads the receiver components it must
// skip. Lock-free atomics: counted from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

enum class SimObject : uint32_t {
    NetworkProvider,
    TunerFilter,
    NullTerminal,
    MpeFilter,            // the receiver component named "BDA MPE Filter"
    SlipDeFramer,         // the receiver component named "BDA Slip De-Framer"
    RefusingReceiver,     // receiver whose input refuses every connection
    PassThroughReceiver,
    Pin,                  // any pin of any sim filter
    Count  // number of kinds, not a kind
};

class SimCounters {
public:
    void Created(SimObject kind);
    void Destroyed(SimObject kind);
    int64_t Creations(SimObject kind) const;
    int64_t Destructions(SimObject kind) const;
    // Creations minus destructions.
    int64_t Alive(SimObject kind) const;
    void Clear();

private:
    static size_t Index(SimObject kind);
    std::array<std::atomic<int64_t>, static_cast<size_t>(SimObject::Count)> created_{};
    std::array<std::atomic<int64_t>, static_cast<size_t>(SimObject::Count)> destroyed_{};
};
