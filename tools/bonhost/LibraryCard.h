// The smart-card functions a BonDriver library exports, used as a card
// client uses them: one context, the tuner's card reader, T=1 commands.
// What it opens it closes (disconnect, release the context) when destroyed.
#pragma once

#include <windows.h>
#include <winscard.h>

#include <cstdint>
#include <vector>

// One command sent through the library's SCardTransmit and what came back.
struct CardExchange {
    std::vector<uint8_t> Command;
    LONG Status = 0;
    std::vector<uint8_t> Answer;  // on success only
};

class LibraryCard {
public:
    explicit LibraryCard(HMODULE module);
    ~LibraryCard();
    LibraryCard(const LibraryCard&) = delete;
    LibraryCard& operator=(const LibraryCard&) = delete;

    // The library exports what a session needs (the context, connect and
    // transmit functions and the T=1 protocol record).
    bool Present() const { return establish_ && connect_ && transmit_ && t1_; }

    // Establishes a context and connects to the tuner's reader; the status
    // of the first step that failed, else SCARD_S_SUCCESS.
    LONG Connect();

    // Sends `command` and puts the answer into `answer` (`*length` bytes of
    // room in, the answer's length out); the card's status code.
    LONG Transmit(const BYTE* command, DWORD size, BYTE* answer, DWORD* length);

    // Every Transmit so far, as this process made it: the only record of
    // the card's bytes a report may carry, and only when the user asks.
    const std::vector<CardExchange>& Exchanges() const { return exchanges_; }

    // Disconnects and releases the context, if open; the destructor does the same.
    void Close();

private:
    decltype(&::SCardEstablishContext) establish_;
    decltype(&::SCardConnectW) connect_;
    decltype(&::SCardTransmit) transmit_;
    decltype(&::SCardDisconnect) disconnect_;
    decltype(&::SCardReleaseContext) release_;
    const SCARD_IO_REQUEST* t1_;
    SCARDCONTEXT context_ = 0;
    SCARDHANDLE card_ = 0;
    bool hasContext_ = false;
    bool connected_ = false;
    std::vector<CardExchange> exchanges_;
};
