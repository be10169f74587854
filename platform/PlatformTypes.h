// The few platform types the portable code needs. On Windows they are the
// system's own; elsewhere (native test builds) they are defined with the same
// sizes and values so that the logic compiles unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// UTF-16 code unit of every text handed to the host.
typedef WCHAR WideChar;
#define WIDE(text) L##text

#else  // native build

typedef char16_t WideChar;
#define WIDE(text) u##text

typedef int32_t HRESULT;
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#endif

static_assert(sizeof(WideChar) == 2, "host texts are UTF-16");
static_assert(sizeof(HRESULT) == 4, "result codes are 32-bit");

// A device operation's failure that says the device itself is gone
// (removed from the bus, or its handle dead): ERROR_DEVICE_NOT_CONNECTED,
// ERROR_DEVICE_REMOVED or ERROR_NO_SUCH_DEVICE as result codes.
constexpr bool IsDeviceGone(HRESULT hr) {
    return hr == static_cast<HRESULT>(0x8007048Fu) || hr == static_cast<HRESULT>(0x80070651u) ||
           hr == static_cast<HRESULT>(0x800701B1u);
}
