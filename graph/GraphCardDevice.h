// GraphCardDevice: the card reader's three raw device operations (status
// query, reset, command) carried out on the graph's network provider. The
// reader logic composes the card steps from them (a status check before the
// reset and before the command), so none of these checks the card itself.
// Each call obtains TunerDeviceControl afresh and releases it before it
// returns; without a network provider every call answers E_FAIL.
#pragma once

#include "exports/CardDevice.h"

class MyFilterGraph;

class GraphCardDevice final : public CardDevice {
public:
    // `graph` stays the caller's and must outlive this object (the exports
    // use one per call, under DriverLock).
    explicit GraphCardDevice(MyFilterGraph& graph) : graph_(graph) {}

    HRESULT GetCardStatus(uint32_t* present) override;
    HRESULT ResetCard() override;
    HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                uint32_t responseSize) override;

private:
    MyFilterGraph& graph_;
};
