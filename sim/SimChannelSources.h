// SimChannelSources: what each simulated channel carries. By default every
// channel of the plan is live with the synthetic generator's stream; a
// channel may instead be silent (it tunes, but has no signal and no TS) or
// replay a recording in a loop, with the channel's own TSID and names (see
// TsReplayClip and TsLoop). A rule for "*" applies to every channel not
// named otherwise, so a benchmark can play one pre-generated ring everywhere.
// The sources also say which sky the satellites show (SimSky): which
// satellite streams exist at all.
// A rule may also name a tune instead of a channel (TuneKey): a user's
// report replays its stream on the frequency (and TSID) the user's driver
// sent, whatever the plan calls the channel there; it wins over the name.
//
// Recordings are read once per file and shared by every device that plays
// them. Thread-safe; the object lives as long as the devices that hold it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/TuneRequest.h"
#include "sim/SimSky.h"
#include "ts/TsGenerator.h"
#include "ts/TsSource.h"

enum class SimSourceKind { Live, Silent, Replay };

struct SimChannelSource {
    SimSourceKind Kind = SimSourceKind::Live;
    std::string File;  // Replay: the recording's path (UTF-8)
    // Replay from memory instead of a file (a benchmark's ring); wins over File.
    std::shared_ptr<const std::vector<uint8_t>> Recording;
};

class SimChannelSources {
public:
    // The name every channel not named otherwise answers to.
    static constexpr const char* AnyChannel = "*";

    // The name of the rule for a tune: "tune 473143 kHz" for ISDB-T, with
    // " TSID 0x40F1" for ISDB-S (the frequency as the driver sends it).
    static std::string TuneKey(const TuneRequest& request);

    // `channel` is the plan's channel name ("13ch", "BS1/TS0"), AnyChannel
    // or a TuneKey.
    void Set(const std::string& channel, const SimChannelSource& source);
    // The rule for a tune (`tune` a TuneKey, may be empty) on `channel`: the
    // tune's, else the channel's own, else AnyChannel's, else Live.
    SimChannelSource Find(const std::string& channel, const std::string& tune = std::string()) const;
    bool Empty() const;

    // The satellites' streams (SimSky::BuiltIn until set).
    void SetSky(SimSkyKind sky);
    SimSkyKind Sky() const;

    // The stream of a channel that is not silent: the synthetic generator
    // for Live, the prepared recording in a loop for Replay. Null for Silent,
    // and for a recording that cannot be read or holds no usable TS.
    std::unique_ptr<TsSource> Open(const std::string& channel, const TsServiceInfo& service,
                                   uint64_t bitRate, const std::string& tune = std::string()) const;

    // The bytes of the file at `path` (UTF-8), read once and then shared;
    // null with a one-line reason in *error.
    std::shared_ptr<const std::vector<uint8_t>> Recording(const std::string& path,
                                                          std::string* error) const;

private:
    mutable std::mutex lock_;
    std::map<std::string, SimChannelSource> channels_;
    SimSkyKind sky_ = SimSkyKind::BuiltIn;
    mutable std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> files_;
};
