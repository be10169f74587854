// A device-call line comes from a user's report: whatever Parse accepts must
// format back to a line that parses to the same call.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/DeviceCallText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    DeviceCall call;
    if (!DeviceCallText::Parse(line, &call)) return 0;
    DeviceCall again;
    if (!DeviceCallText::Parse(DeviceCallText::Format(call), &again)) std::abort();
    if (again.TimeMs != call.TimeMs || again.Operation != call.Operation ||
        again.Result != call.Result || !(again.In == call.In) || !(again.Out == call.Out))
        std::abort();
    return 0;
}
