#include "tools/bonhost/LibraryCard.h"

#include "tools/bonhost/LibraryExport.h"

namespace {

const wchar_t ReaderName[] = L"TOVI CardReader";

}  // namespace

LibraryCard::LibraryCard(HMODULE module)
    : establish_(LibraryExport<decltype(&::SCardEstablishContext)>(module, "SCardEstablishContext")),
      connect_(LibraryExport<decltype(&::SCardConnectW)>(module, "SCardConnectW")),
      transmit_(LibraryExport<decltype(&::SCardTransmit)>(module, "SCardTransmit")),
      disconnect_(LibraryExport<decltype(&::SCardDisconnect)>(module, "SCardDisconnect")),
      release_(LibraryExport<decltype(&::SCardReleaseContext)>(module, "SCardReleaseContext")),
      t1_(LibraryExport<const SCARD_IO_REQUEST*>(module, "g_rgSCardT1Pci")) {}

LibraryCard::~LibraryCard() { Close(); }

void LibraryCard::Close() {
    if (connected_ && disconnect_) disconnect_(card_, SCARD_LEAVE_CARD);
    if (hasContext_ && release_) release_(context_);
    connected_ = false;
    hasContext_ = false;
}

LONG LibraryCard::Connect() {
    if (!Present()) return static_cast<LONG>(SCARD_E_NO_SERVICE);
    LONG status = establish_(SCARD_SCOPE_USER, nullptr, nullptr, &context_);
    if (status != SCARD_S_SUCCESS) return status;
    hasContext_ = true;
    DWORD protocol = 0;
    status = connect_(context_, ReaderName, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &card_, &protocol);
    connected_ = status == SCARD_S_SUCCESS;
    return status;
}

LONG LibraryCard::Transmit(const BYTE* command, DWORD size, BYTE* answer, DWORD* length) {
    if (!connected_) return static_cast<LONG>(SCARD_E_NOT_READY);
    const DWORD room = *length;
    const LONG status = transmit_(card_, t1_, command, size, nullptr, answer, length);
    CardExchange exchange;
    if (command != nullptr) exchange.Command.assign(command, command + size);
    exchange.Status = status;
    if (status == SCARD_S_SUCCESS && answer != nullptr) exchange.Answer.assign(answer, answer + (*length <= room ? *length : room));
    exchanges_.push_back(std::move(exchange));
    return status;
}
