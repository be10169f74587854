// What the card and device exports do with the open tuner. SCardTransmit
// holds DriverLock for its whole run; the five device operations take no
// lock, so that a remote-key read never waits behind a host call (the caller
// keeps the tuner open while one runs). Without an open tuner nothing reaches
// the device: the card answers SCARD_E_UNEXPECTED, the device operations 0.
#pragma once

#include <cstdint>

#include "driver/SmartCardReader.h"

class TunerAccess {
public:
    // SCardTransmit's work, with its arguments as the export received them.
    static int32_t TransmitToCard(ScardHandle card, const void* sendPci, const uint8_t* send,
                                  ScardDword sendLength, uint8_t* recv, ScardDword* recvLength);

    // The device operations: 1 when the device answered a success code.
    static int32_t ReadRemoteKey(uint32_t* code, uint8_t* key);
    static int32_t CheckLnbPowerCircuit(uint32_t value);
    static int32_t SetLnbPower(uint32_t value);
    static int32_t GetLnbPower(uint32_t value);
    static int32_t FactoryWrite(uint32_t manufacturer, uint32_t product, uint32_t serialNumber);
};
