// SimAnswerScript: the answers a user's tuner gave, read from a report's
// device-calls.txt (DeviceCallText's lines), for the simulated device to give
// them again: per operation, its recorded results and outputs in the order
// they came, the last one repeated once the sequence is used up, so that a
// replay that asks a little more or less often than the user's run still
// sees the same outcome. Portable; thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DeviceCallText.h"

class SimAnswerScript {
public:
    // Every line of `text` that is a device call; other lines are ignored.
    // *lines (may be null) gets the number of calls read.
    static SimAnswerScript FromText(const std::string& text, size_t* lines = nullptr);

    SimAnswerScript() = default;
    SimAnswerScript(SimAnswerScript&& other) noexcept : answers_(std::move(other.answers_)) {}
    SimAnswerScript& operator=(SimAnswerScript&&) = delete;

    // The next answer of `operation` into *answer; false when the script has none.
    bool Next(const std::string& operation, DeviceCall* answer);
    bool Empty() const;

private:
    struct Sequence {
        std::vector<DeviceCall> Calls;
        size_t Next = 0;
    };
    mutable std::mutex lock_;
    std::map<std::string, Sequence> answers_;
};
