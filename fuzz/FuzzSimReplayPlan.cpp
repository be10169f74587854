// A user's report folder is outside input: report.txt, device-calls.txt and
// tuners.txt, here cut from one input at its first two NUL bytes. Reading
// them never reads out of bounds, and what it accepts keeps to its bounds:
// the tuners and their names, and a stream tied to a line that exists and
// holds a tune.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/SimReplayPlan.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t first = input.find('\0');
    const size_t second = first == std::string::npos ? std::string::npos : input.find('\0', first + 1);
    const std::string report = input.substr(0, first);
    const std::string calls = first == std::string::npos ? std::string() : input.substr(first + 1, second - first - 1);
    const std::string tuners = second == std::string::npos ? std::string() : input.substr(second + 1);
    SimReplayPlan plan;
    std::string error;
    if (!plan.Read(report, calls, tuners, &error)) {
        Require(!error.empty());
        return 0;
    }
    Require(plan.DeviceCalls() > 0);
    Require(plan.Tuners().size() <= SimReplayPlan::MaxTuners);
    for (const SimReplayTuner& tuner : plan.Tuners())
        Require(tuner.FriendlyName.size() <= SimReplayPlan::MaxNameLength &&
                tuner.DevicePath.size() <= SimReplayPlan::MaxNameLength);
    if (plan.HasStream()) Require(plan.StreamTuneLine() >= 1 && plan.StreamTuneLine() <= calls.size());
    return 0;
}
