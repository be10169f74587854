// DeviceControl: the one way to call an operation of the tuner's
// TunerDeviceControl, which the maker's network provider filter exposes.
// The interface is queried afresh for every call and held for that call
// only, with a reference of the call's own on the provider, so a call keeps
// the provider alive even while a tear-down on another thread lets go of it.
// Nothing is cached.
//
// The provider pointer is shared with the remote-key thread, so it is read
// and written under providerLock_; the lock is held only to copy or swap the
// pointer, never across a call, and is never DriverLock (the graph's
// destructor holds that while it waits for the thread).
#pragma once

#include <strmif.h>

#include "dshow/ComPtr.h"
#include "graph/TracingDeviceControl.h"
#include "platform/Locks.h"
#include "platform/TunerDeviceControl.h"
#include "remote/RemoteKeySource.h"

class DeviceControl final : public RemoteKeySource {
public:
    DeviceControl() = default;
    DeviceControl(const DeviceControl&) = delete;
    DeviceControl& operator=(const DeviceControl&) = delete;

    // Stores `provider` (empty: none) as the network provider; the one it
    // replaces is released after the lock is left.
    void SetProvider(ComPtr<IBaseFilter> provider);
    // The network provider with a reference of the caller's own (empty when
    // none is loaded).
    ComPtr<IBaseFilter> Provider() const;

    // Runs `operation(TunerDeviceControl&)` on the interface queried for this
    // call. E_FAIL without a network provider, the query's failure when it
    // does not expose the interface, otherwise the operation's result.
    template <class Operation>
    HRESULT Call(Operation operation) const {
        ComPtr<TunerDeviceControl> control;
        const HRESULT hr = Query(&control);
        if (FAILED(hr)) return hr;
#ifdef BDA_TRACE
        // The tracing build writes every call as a device-call line.
        TracingDeviceControl traced(*control.Get());
        return operation(traced);
#else
        return operation(*control.Get());
#endif
    }

    // Call() for one method of the interface with its arguments:
    // Invoke(&TunerDeviceControl::SetLNBPower, value).
    template <class Method, class... Args>
    HRESULT Invoke(Method method, Args... args) const {
        return Call([&](TunerDeviceControl& control) { return (control.*method)(args...); });
    }

    HRESULT ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key) override;

private:
    HRESULT Query(ComPtr<TunerDeviceControl>* control) const;

    ComPtr<IBaseFilter> pINetworkProvider_IBaseFilter;
    mutable PlainLock providerLock_;
};
