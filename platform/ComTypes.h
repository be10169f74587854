// COM's IUnknown and GUID. On Windows these are the system's; native builds
// get layout-compatible stand-ins so that interface declarations and the
// method-table test compile unchanged.
#pragma once

#include "platform/PlatformTypes.h"

#ifdef _WIN32
#include <unknwn.h>
#else

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef const GUID& REFIID;
typedef uint32_t ULONG;
#define STDMETHODCALLTYPE

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

#endif
