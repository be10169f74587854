// The host interface of a BonDriver plug-in: IBonDriver and its extension
// IBonDriver2. Hosts call these methods through the object's method table by
// position, so the declaration order below is the interface and must never
// change. There are exactly 17 slots, 0 to 16.
//
// The methods use the compiler's default member calling convention (thiscall
// on 32-bit x86 for both MSVC and mingw's g++), which is what the hosts use.
// Overloads inside one class are laid out in declaration order by g++, so the
// pointer form of GetTsStream (slot 6) is declared before the copy form
// (slot 7); an MSVC-built host sees the same two slots in that order.
#pragma once

#include "platform/PlatformTypes.h"

class IBonDriver {
public:
    virtual BOOL OpenTuner() = 0;                           // 0
    virtual void CloseTuner() = 0;                          // 1
    virtual BOOL SetChannel(BYTE channel) = 0;              // 2
    virtual float GetSignalLevel() = 0;                     // 3
    virtual DWORD WaitTsStream(DWORD timeoutMs) = 0;        // 4
    virtual DWORD GetReadyCount() = 0;                      // 5
    // Hands out the oldest chunk; it stays owned by the driver and valid
    // until the next GetTsStream, CloseTuner or Release.
    virtual BOOL GetTsStream(BYTE** data, DWORD* size, DWORD* remaining) = 0;  // 6
    // Copies the oldest chunk into `destination`, which must hold one chunk.
    virtual BOOL GetTsStream(BYTE* destination, DWORD* size, DWORD* remaining) = 0;  // 7
    virtual void PurgeTsStream() = 0;                       // 8
    virtual void Release() = 0;                             // 9

protected:
    ~IBonDriver() = default;  // hosts destroy the object through Release only
};

class IBonDriver2 : public IBonDriver {
public:
    // The returned texts are owned by the driver (or are constants) and stay
    // valid until Release; the host never frees them.
    virtual LPCWSTR GetTunerName() = 0;                               // 10
    virtual BOOL IsTunerOpening() = 0;                                // 11
    virtual LPCWSTR EnumTuningSpace(DWORD space) = 0;                 // 12
    virtual LPCWSTR EnumChannelName(DWORD space, DWORD channel) = 0;  // 13
    virtual BOOL SetChannel(DWORD space, DWORD channel) = 0;          // 14
    virtual DWORD GetCurSpace() = 0;                                  // 15
    virtual DWORD GetCurChannel() = 0;                                // 16

    using IBonDriver::SetChannel;

protected:
    ~IBonDriver2() = default;
};

// Number of method-table slots of IBonDriver2.
constexpr int BonDriverSlotCount = 17;
