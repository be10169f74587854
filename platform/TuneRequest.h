// The little-endian records exchanged with the tuner for tuning. They are
// built on the caller's stack for one call; the device keeps no pointer.
#pragma once

#include <cstddef>
#include <cstdint>

// The tail of a TuneRequest, passed alone to SetFrequency.
struct TuneFrequency {
    uint32_t Frequency;            // kHz (units of FrequencyMultiplier Hz)
    uint32_t FrequencyMultiplier;  // always 1000
    uint32_t Bandwidth;            // 6 for ISDB-T, 9 for ISDB-S
};

struct TuneRequest {
    uint32_t SystemType;  // 0 ISDB-T, 3 ISDB-S BS, 4 ISDB-S CS110
    uint8_t Reserved[44]; // all zero
    uint32_t Tsid;        // 0xFFFFFFFF for ISDB-T; the 16-bit TSID for ISDB-S
    TuneFrequency Tail;   // Frequency, FrequencyMultiplier, Bandwidth
};

// The device's signal report; the driver reads only Level and LevelHundredths.
struct SignalStatistics {
    uint8_t Leading[8];
    int32_t Level;
    int32_t LevelHundredths;
};

enum : uint32_t {
    SystemTypeIsdbT = 0,
    SystemTypeIsdbSBs = 3,
    SystemTypeIsdbSCs110 = 4,
};

static_assert(sizeof(TuneFrequency) == 12, "TuneFrequency is 12 bytes");
static_assert(sizeof(TuneRequest) == 64, "TuneRequest is 64 bytes");
static_assert(offsetof(TuneRequest, SystemType) == 0, "SystemType at 0");
static_assert(offsetof(TuneRequest, Reserved) == 4, "reserved bytes at 4");
static_assert(offsetof(TuneRequest, Tsid) == 48, "Tsid at 48");
static_assert(offsetof(TuneRequest, Tail) + offsetof(TuneFrequency, Frequency) == 52, "Frequency at 52");
static_assert(offsetof(TuneRequest, Tail) + offsetof(TuneFrequency, FrequencyMultiplier) == 56,
              "FrequencyMultiplier at 56");
static_assert(offsetof(TuneRequest, Tail) + offsetof(TuneFrequency, Bandwidth) == 60, "Bandwidth at 60");
static_assert(sizeof(SignalStatistics) == 16, "SignalStatistics is 16 bytes");
static_assert(offsetof(SignalStatistics, Level) == 8, "Level at 8");
static_assert(offsetof(SignalStatistics, LevelHundredths) == 12, "LevelHundredths at 12");
