#include "driver/SmartCardReader.h"

#include <cstring>

#include "platform/Trace.h"

namespace {

// "TOVI CardReader" in UTF-16LE plus the list's closing zero unit.
const uint8_t ReaderList[ReaderListBytes] = {
    'T', 0, 'O', 0, 'V', 0, 'I', 0, ' ', 0, 'C', 0, 'a', 0, 'r', 0,
    'd', 0, 'R', 0, 'e', 0, 'a', 0, 'd', 0, 'e', 0, 'r', 0, 0,   0};

}  // namespace

int32_t SmartCardReader::EstablishContext(ScardHandle* context) {
    if (context != nullptr) *context = ReaderContext;
    return SCARD_S_SUCCESS;
}

int32_t SmartCardReader::ListReaders(ScardHandle context, void* readers, ScardDword* length) {
    if (context != ReaderContext) return SCARD_E_READER_UNAVAILABLE;
    if (length == nullptr) return SCARD_E_INVALID_PARAMETER;
    if (readers == nullptr) {
        *length = ReaderListBytes;
        return SCARD_S_SUCCESS;
    }
    // Auto-allocation would make `readers` a pointer to the caller's pointer.
    if (*length == ScardAutoAllocate) return SCARD_E_INVALID_PARAMETER;
    std::memcpy(readers, ReaderList, *length < ReaderListBytes ? *length : ReaderListBytes);
    return SCARD_S_SUCCESS;
}

int32_t SmartCardReader::Connect(ScardHandle context, ScardDword preferredProtocols,
                                 ScardHandle* card, ScardDword* activeProtocol) {
    if (context != ReaderContext) return SCARD_E_READER_UNAVAILABLE;
    if (preferredProtocols != ProtocolT0 && preferredProtocols != ProtocolT1)
        return SCARD_E_CARD_UNSUPPORTED;
    if (card != nullptr) *card = ReaderCardHandle;
    if (activeProtocol != nullptr) *activeProtocol = ProtocolT1;
    return SCARD_S_SUCCESS;
}

int32_t SmartCardReader::Transmit(bool graphOpen, CardDevice* device, ScardHandle card,
                                  const void* sendPci, const uint8_t* send,
                                  ScardDword sendLength, uint8_t* recv, ScardDword* recvLength) {
    if (!graphOpen || device == nullptr) return SCARD_E_UNEXPECTED;
    if (card != ReaderCardHandle) return SCARD_E_READER_UNAVAILABLE;
    if (sendPci == nullptr) return SCARD_E_INVALID_PARAMETER;
    ScardDword protocol = 0;
    std::memcpy(&protocol, sendPci, sizeof protocol);
    if (protocol != ProtocolT1) return SCARD_E_CARD_UNSUPPORTED;
    if (send == nullptr || sendLength == 0 || recv == nullptr || recvLength == nullptr)
        return SCARD_E_INVALID_PARAMETER;
    if (FAILED(device->GetCardStatus(&cardPresent_))) {
        Trace("(SmartCardReader::Transmit) card status query failed");
        return SCARD_E_UNEXPECTED;
    }
    if (cardPresent_ == 0) {
        cardNeedsReset_ = true;
        Trace("(SmartCardReader::Transmit) no card");
        return SCARD_E_UNEXPECTED;
    }
    if (cardNeedsReset_ && FAILED(device->ResetCard())) {
        Trace("(SmartCardReader::Transmit) card reset failed");
        return SCARD_E_UNEXPECTED;
    }
    return Exchange(device, send, sendLength, recv, recvLength);
}

int32_t SmartCardReader::Exchange(CardDevice* device, const uint8_t* send,
                                  ScardDword sendLength, uint8_t* recv, ScardDword* recvLength) {
    uint8_t response[CardResponseBufferSize] = {};
    const HRESULT result =
        device->TransmitCardCommand(send, sendLength, response, CardResponseBufferSize);
    const uint32_t length = (uint32_t{response[0]} << 8) | response[1];
    if (FAILED(result) || length > MaxCardResponse) {
        // A card that was ready must be reset before the next command; one
        // that was waiting for its reset just keeps waiting.
        cardNeedsReset_ = true;
        Trace("(SmartCardReader::Transmit) card command failed", result, length);
        return SCARD_E_UNEXPECTED;
    }
    cardNeedsReset_ = false;  // the card answered
    const bool fits = *recvLength >= length;
    *recvLength = length;
    if (!fits) return SCARD_E_INSUFFICIENT_BUFFER;
    std::memcpy(recv, response + 2, length);
    return SCARD_S_SUCCESS;
}
