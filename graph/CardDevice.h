// The three card steps the capture graph carries out on the tuner's card
// reader, as the smart-card reader logic needs them. The graph implements it
// on TunerDeviceControl; tests implement it over scripted fakes with the same
// steps (graph/CardSteps.h).
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

class CardDevice {
public:
    // The card-status query: writes non-zero to *present when a card is in.
    virtual HRESULT GetCardStatus(uint32_t* present) = 0;
    // The card reset: a status query first; resets only a present card.
    virtual HRESULT ResetCard() = 0;
    // The command: a status query first; then sends `length` command bytes,
    // and the device writes its answer (two bytes big-endian length, then
    // the data) into `response` (the caller's, `responseSize` bytes).
    virtual HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                        uint32_t responseSize) = 0;

protected:
    ~CardDevice() = default;
};
