// The card reset and the card command as the tuner's card reader needs them:
// each first asks the same device whether a card is in. `RawDevice` is
// anything with the three raw operations of TunerDeviceControl
// (GetCardStatus, ResetCard, TransmitCardCommand): the interface itself in the
// graph, a scripted fake in the tests.
#pragma once

#include <cstdint>

#include "graph/CardDevice.h"
#include "platform/PlatformTypes.h"

// A status answer other than S_OK is the step's result; an absent card E_FAIL.
template <class RawDevice>
HRESULT ResetPresentCard(RawDevice& device) {
    uint32_t present = 0;
    const HRESULT status = device.GetCardStatus(&present);
    if (status != S_OK) return status;
    return present == 0 ? E_FAIL : device.ResetCard();
}

// As the reset, except that a status answer that is a success code other than
// S_OK fails the step too: the response buffer would be taken for an answer
// that the device never wrote.
template <class RawDevice>
HRESULT TransmitToPresentCard(RawDevice& device, const uint8_t* command, uint32_t length,
                              uint8_t* response, uint32_t responseSize) {
    uint32_t present = 0;
    const HRESULT status = device.GetCardStatus(&present);
    if (status != S_OK) return FAILED(status) ? status : E_FAIL;
    return present == 0 ? E_FAIL
                        : device.TransmitCardCommand(command, length, response, responseSize);
}

// The three card steps over a raw device the caller keeps alive.
template <class RawDevice>
class CheckedCardDevice final : public CardDevice {
public:
    explicit CheckedCardDevice(RawDevice& device) : device_(device) {}
    HRESULT GetCardStatus(uint32_t* present) override { return device_.GetCardStatus(present); }
    HRESULT ResetCard() override { return ResetPresentCard(device_); }
    HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                uint32_t responseSize) override {
        return TransmitToPresentCard(device_, command, length, response, responseSize);
    }

private:
    RawDevice& device_;
};
