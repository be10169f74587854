// The three raw smart-card operations of the tuner's control interface, as
// the reader logic needs them. The exports implement it over
// TunerDeviceControl; tests implement it with scripted fakes.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

class CardDevice {
public:
    virtual ~CardDevice() = default;
    // Writes non-zero to *present when a card is inserted.
    virtual HRESULT GetCardStatus(uint32_t* present) = 0;
    virtual HRESULT ResetCard() = 0;
    // Sends `length` command bytes; the device writes its answer (two bytes
    // big-endian length, then the data) into `response` (the caller's,
    // `responseSize` bytes).
    virtual HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                        uint32_t responseSize) = 0;
};
