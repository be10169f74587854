// The function the TS writer filter calls for each media sample, on
// DirectShow's streaming thread, with the sample's bytes (valid only during
// the call); its result is ignored.
#pragma once

#include <cstdint>

typedef int32_t (*SampleCallback)(void* context, const uint8_t* bytes, int32_t length);
