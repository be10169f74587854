// A mapped key sends its command; any other key from our remote repeats the
// previous command (the remote sends a repeat code while a button is held),
// and does nothing until a first command has been sent.
#include "remote/RemoteKeyPoller.h"

#include "remote/KeyCommandTable.h"

namespace {
constexpr uint32_t CustomCodeMask = 0xFFFF;  // the device fills the low half only
}  // namespace

bool RemoteKeyPoller::Decide(HRESULT readResult, uint8_t* command) {
    if (readResult != S_OK) return false;  // S_FALSE means no key either
    if ((customCode_ & CustomCodeMask) != RemoteKeyCustomCode) return false;
    uint8_t mapped = 0;
    if (LookupKeyCommand(keyCode_, &mapped)) lastCommand_ = mapped;
    if (lastCommand_ == NoCommand) return false;
    *command = lastCommand_;
    return true;
}

bool RemoteKeyPoller::Poll(RemoteKeySource& source, uint8_t* command) {
    const HRESULT result = source.ReadRemoteControlKey(RemoteKeySelector, &customCode_, &keyCode_);
    return Decide(result, command);
}
