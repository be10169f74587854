// The six PC/SC exports under their winscard.h names and types, so that a
// program written against winscard.h can load this library in place of the
// system's card library. Five are fixed answers that take no lock;
// SCardTransmit holds DriverLock for its whole run and tunnels the command
// through the open tuner (the driver's SmartCardReader holds the state
// machine, the graph the card steps).
//
// winscard.h marks the three protocol records dllimport through WINSCARDDATA;
// defining it empty lets this file define them with the header's own types.
#define WINSCARDDATA
#include <windows.h>
#include <winscard.h>

#include "driver/SmartCardReader.h"
#include "driver/TunerAccess.h"
#include "platform/Trace.h"

static_assert(sizeof(SCARDCONTEXT) == sizeof(ScardHandle), "context handles pass through");
static_assert(sizeof(SCARDHANDLE) == sizeof(ScardHandle), "card handles pass through");

// The protocol control records that SCARD_PCI_T0, SCARD_PCI_T1 and
// SCARD_PCI_RAW point at in a program built against winscard.h.
const SCARD_IO_REQUEST g_rgSCardT0Pci = {SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardT1Pci = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardRawPci = {SCARD_PROTOCOL_RAW, sizeof(SCARD_IO_REQUEST)};

LONG WINAPI SCardEstablishContext(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT phContext) {
    return SmartCardReader::EstablishContext(phContext);
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT) { return SmartCardReader::ReleaseContext(); }

LONG WINAPI SCardListReadersW(SCARDCONTEXT hContext, LPCWSTR, LPWSTR mszReaders,
                              LPDWORD pcchReaders) {
    return SmartCardReader::ListReaders(hContext, mszReaders, pcchReaders);
}

LONG WINAPI SCardConnectW(SCARDCONTEXT hContext, LPCWSTR, DWORD, DWORD dwPreferredProtocols,
                          LPSCARDHANDLE phCard, LPDWORD pdwActiveProtocol) {
    return SmartCardReader::Connect(hContext, dwPreferredProtocols, phCard, pdwActiveProtocol);
}

LONG WINAPI SCardDisconnect(SCARDHANDLE, DWORD) { return SmartCardReader::Disconnect(); }

LONG WINAPI SCardTransmit(SCARDHANDLE hCard, LPCSCARD_IO_REQUEST pioSendPci,
                          LPCBYTE pbSendBuffer, DWORD cbSendLength, LPSCARD_IO_REQUEST,
                          LPBYTE pbRecvBuffer, LPDWORD pcbRecvLength) {
    Trace("(BonDriver_TesselBDA)(SCardTransmit) Start");
    const int32_t result = TunerAccess::TransmitToCard(hCard, pioSendPci, pbSendBuffer,
                                                       cbSendLength, pbRecvBuffer, pcbRecvLength);
    Trace("(BonDriver_TesselBDA)(SCardTransmit) ReturnValue", result);
    Trace("(BonDriver_TesselBDA)(SCardTransmit) End");
    return result;
}
