#include "sim/SimDeviceEvent.h"

namespace {

const char* const kNames[] = {"unplug", "replug", "stall",  "flow",
                              "nosignal", "signal", "abort", "unplug-silent"};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<size_t>(SimDeviceEvent::Count),
              "one name per event");

// The events' operations follow each other in the same order.
static_assert(static_cast<uint32_t>(SimOp::SilentUnplug) - static_cast<uint32_t>(SimOp::Unplug) + 1 ==
                  static_cast<uint32_t>(SimDeviceEvent::Count),
              "one operation per event");

}  // namespace

const char* SimDeviceEventName(SimDeviceEvent event) {
    const size_t index = static_cast<size_t>(event);
    return index < static_cast<size_t>(SimDeviceEvent::Count) ? kNames[index] : "?";
}

bool ParseSimDeviceEvent(const std::string& name, SimDeviceEvent* event) {
    for (size_t i = 0; i < static_cast<size_t>(SimDeviceEvent::Count); ++i)
        if (name == kNames[i]) {
            *event = static_cast<SimDeviceEvent>(i);
            return true;
        }
    return false;
}

SimOp SimOpOfEvent(SimDeviceEvent event) {
    return static_cast<SimOp>(static_cast<uint32_t>(SimOp::Unplug) + static_cast<uint32_t>(event));
}
