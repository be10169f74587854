// The remote-key thread's decision: after each read of the remote, whether a
// WM_COMMAND goes to the host window and with which command.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"
#include "platform/TunerDeviceControl.h"
#include "remote/RemoteKeySource.h"

// Custom code (low 16 bits of the code holder) of the remote that belongs to
// this tuner; keys from any other remote are ignored.
constexpr uint16_t RemoteKeyCustomCode = 0x2010;
// What the holders start as: no remote's code, no key.
constexpr uint32_t NoCustomCode = 0xFFFF;
constexpr uint8_t NoKeyCode = 0xFF;

// Holds the state the thread carries from poll to poll. It is set once at
// construction and never reset: the holders keep whatever the device last
// wrote into them, even on a failed read. Used by the polling thread alone,
// so it takes no lock.
class RemoteKeyPoller {
public:
    static constexpr uint8_t NoCommand = 255;

    RemoteKeyPoller() = default;

    // The holders handed to ReadRemoteControlKey. They belong to the poller
    // and stay valid for its life.
    uint32_t* CustomCodeHolder() { return &customCode_; }
    uint8_t* KeyCodeHolder() { return &keyCode_; }

    // Decides after a read that returned `readResult`. Returns true, with
    // *command set, when the host window should get WM_COMMAND(*command).
    bool Decide(HRESULT readResult, uint8_t* command);

    // Reads the remote through `source` (borrowed for the call) into the
    // holders, then decides as above.
    bool Poll(RemoteKeySource& source, uint8_t* command);

    // The command sent last, NoCommand before the first.
    uint8_t LastCommand() const { return lastCommand_; }

private:
    uint32_t customCode_ = NoCustomCode;
    uint8_t keyCode_ = NoKeyCode;
    uint8_t lastCommand_ = NoCommand;
};
