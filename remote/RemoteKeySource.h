// Where the remote-key thread reads keys from. The capture graph hands one
// to the forwarder; tests hand fakes. Called from the forwarder's thread only,
// without any lock of the caller's.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

class RemoteKeySource {
public:
    // Fills the low 16 bits of *code with the custom code and *key with the
    // key code, as TunerDeviceControl's ReadRemoteControlKey does; S_OK when
    // a key report was read.
    virtual HRESULT ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key) = 0;

protected:
    ~RemoteKeySource() = default;
};
