// A mapped key sends its command; any other key from our remote repeats the
// previous command (the remote sends a repeat code while a button is held),
// and does nothing until a first command has been sent.
#include "graph/RemoteKeyPoller.h"

#include "graph/KeyCommandTable.h"

bool RemoteKeyPoller::Decide(HRESULT readResult, uint8_t* command) {
    if (readResult != S_OK) return false;  // S_FALSE means no key either
    if ((customCode_ & 0xFFFF) != RemoteKeyCustomCode) return false;
    uint8_t mapped = 0;
    if (LookupKeyCommand(keyCode_, &mapped)) lastCommand_ = mapped;
    if (lastCommand_ == NoCommand) return false;
    *command = lastCommand_;
    return true;
}

bool RemoteKeyPoller::Poll(TunerDeviceControl& device, uint8_t* command) {
    const HRESULT result = device.ReadRemoteControlKey(RemoteKeySelector, &customCode_, &keyCode_);
    return Decide(result, command);
}
