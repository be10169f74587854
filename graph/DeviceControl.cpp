#include "graph/DeviceControl.h"

#include <utility>

void DeviceControl::SetProvider(ComPtr<IBaseFilter> provider) {
    {
        ScopedPlainLock lock(providerLock_);
        pINetworkProvider_IBaseFilter.Swap(provider);
    }
    // `provider` now holds the previous filter, released here, unlocked.
}

ComPtr<IBaseFilter> DeviceControl::Provider() const {
    ScopedPlainLock lock(providerLock_);
    return pINetworkProvider_IBaseFilter;
}

HRESULT DeviceControl::Query(ComPtr<TunerDeviceControl>* control) const {
    const ComPtr<IBaseFilter> provider = Provider();
    if (provider.Get() == nullptr) return E_FAIL;
    HRESULT hr = provider->QueryInterface(IID_TunerDeviceControl, control->ReceiveVoid());
    if (SUCCEEDED(hr) && control->Get() == nullptr) hr = E_NOINTERFACE;
    return hr;
}

HRESULT DeviceControl::ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key) {
    return Invoke(&TunerDeviceControl::ReadRemoteControlKey, selector, code, key);
}
