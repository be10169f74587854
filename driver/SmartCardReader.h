// The tuner's built-in card reader, presented to hosts as one PC/SC reader.
// Context, reader list and connection are fixed answers; only Transmit talks
// to the device. Transmit keeps two flags across calls: whether the card must
// be reset before the next command (set at load and whenever the card was
// missing or a command failed) and whether the card was last seen present.
// The class takes no lock; the exports call it under the process lock.
#pragma once

#include <cstdint>

#include "graph/CardDevice.h"
#include "platform/PlatformTypes.h"

// On Windows these come with windows.h (winerror.h) already.
#ifndef SCARD_S_SUCCESS
#define SCARD_S_SUCCESS ((int32_t)0)
#endif
#ifndef SCARD_E_INVALID_PARAMETER
#define SCARD_E_INVALID_PARAMETER ((int32_t)0x80100004u)
#endif
#ifndef SCARD_E_INSUFFICIENT_BUFFER
#define SCARD_E_INSUFFICIENT_BUFFER ((int32_t)0x80100008u)
#endif
#ifndef SCARD_E_READER_UNAVAILABLE
#define SCARD_E_READER_UNAVAILABLE ((int32_t)0x80100017u)
#endif
#ifndef SCARD_E_CARD_UNSUPPORTED
#define SCARD_E_CARD_UNSUPPORTED ((int32_t)0x8010001Cu)
#endif
#ifndef SCARD_E_UNEXPECTED
#define SCARD_E_UNEXPECTED ((int32_t)0x8010001Fu)
#endif

// The PC/SC handle and DWORD types, so the exports pass their arguments through.
#ifdef _WIN32
typedef ULONG_PTR ScardHandle;
typedef DWORD ScardDword;
#else
typedef uintptr_t ScardHandle;
typedef uint32_t ScardDword;
#endif
static_assert(sizeof(ScardDword) == 4, "PC/SC counts are 32-bit");

constexpr ScardHandle ReaderContext = 0x54564943;  // "TVIC"
constexpr ScardHandle ReaderCardHandle = 0x00600511;
constexpr ScardDword ProtocolT0 = 1;
constexpr ScardDword ProtocolT1 = 2;
constexpr ScardDword ScardAutoAllocate = 0xFFFFFFFF;
constexpr ScardDword ReaderListBytes = 32;  // "TOVI CardReader", two terminators
constexpr uint32_t CardResponseBufferSize = 512;
constexpr uint32_t MaxCardResponse = CardResponseBufferSize - 2;

class SmartCardReader {
public:
    // The fixed answers. None of them keeps a pointer it is given.
    static int32_t EstablishContext(ScardHandle* context);
    static int32_t ReleaseContext() { return SCARD_S_SUCCESS; }
    // Copies at most 32 bytes of the UTF-16 reader list into `readers`
    // (treating *length as bytes), or reports 32 in *length when `readers`
    // is null.
    static int32_t ListReaders(ScardHandle context, void* readers, ScardDword* length);
    static int32_t Connect(ScardHandle context, ScardDword preferredProtocols, ScardHandle* card,
                           ScardDword* activeProtocol);
    static int32_t Disconnect() { return SCARD_S_SUCCESS; }

    // Sends `send` to the card and copies the answer into `recv` (the
    // caller's, *recvLength bytes). `sendPci` points at a SCARD_IO_REQUEST;
    // only its first 32-bit field (the protocol) is read. `device` is used
    // for this call only.
    int32_t Transmit(bool graphOpen, CardDevice* device, ScardHandle card, const void* sendPci,
                     const uint8_t* send, ScardDword sendLength, uint8_t* recv,
                     ScardDword* recvLength);

    bool CardNeedsReset() const { return cardNeedsReset_; }
    // The device went and came back: its card is reset before the next command.
    void ForgetCard() { cardNeedsReset_ = true; }
    uint32_t CardPresent() const { return cardPresent_; }

private:
    int32_t Exchange(CardDevice* device, const uint8_t* send, ScardDword sendLength,
                     uint8_t* recv, ScardDword* recvLength);

    bool cardNeedsReset_ = true;
    uint32_t cardPresent_ = 0;
};
