// Forwarding of the device operations to TunerDeviceControl on the network
// provider filter. The interface is queried afresh for every call and held
// by a ComPtr for that call only, so the call keeps the provider alive even
// if the graph lets go of it meanwhile; nothing is cached. The pointer itself
// is read under ProviderLock, as the remote-key thread calls beside a
// tear-down on a host thread.
#include "graph/MyFilterGraph.h"
#include "platform/Trace.h"

HRESULT MyFilterGraph::QueryDeviceControl(ComPtr<TunerDeviceControl>& control) {
    ComPtr<IBaseFilter> provider = NetworkProviderReference();
    if (provider.Get() == nullptr) return E_FAIL;
    HRESULT hr = provider->QueryInterface(
        IID_TunerDeviceControl, reinterpret_cast<void**>(control.Receive()));
    if (SUCCEEDED(hr) && control.Get() == nullptr) hr = E_NOINTERFACE;
    return hr;
}

HRESULT MyFilterGraph::SetTunerMode(uint32_t mode) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->SetTunerMode(mode);
}

HRESULT MyFilterGraph::SetTransportStreanEncryptionFlag(uint32_t enableFlag) {
    Trace("(MyFilterGraph::SetTransportStreanEncryptionFlag)");
    Trace("(MyFilterGraph::SetTransportStreanEncryptionFlag) EnableFlag", enableFlag);
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->SetTransportStreanEncryptionFlag(enableFlag);
}

HRESULT MyFilterGraph::SetFrequency(const TuneFrequency* frequency) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->SetFrequency(frequency);
}

HRESULT MyFilterGraph::SetTuneRequest(const TuneRequest* request) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->SetTuneRequest(request);
}

HRESULT MyFilterGraph::GetSignalStatistics(SignalStatistics* statistics) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->GetSignalStatistics(statistics);
}

HRESULT MyFilterGraph::ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->ReadRemoteControlKey(selector, code, key);
}

HRESULT MyFilterGraph::CheckLNBPowerCircuit(uint32_t value) {
    Trace("(MyFilterGraph::CheckLNBPowerCircuit)");
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->CheckLNBPowerCircuit(value);
}

HRESULT MyFilterGraph::SetLNBPower(uint32_t value) {
    Trace("(MyFilterGraph::SetLNBPower)");
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->SetLNBPower(value);
}

HRESULT MyFilterGraph::GetLNBPower(uint32_t value) {
    Trace("(MyFilterGraph::GetLNBPower)");
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->GetLNBPower(value);
}

HRESULT MyFilterGraph::FactoryModeWriteManufacturerProductSerialNumber(uint32_t manufacturer,
                                                                       uint32_t product,
                                                                       uint32_t serialNumber) {
    Trace("(MyFilterGraph::FactoryModeWriteManufacturerProductSerialNumber)");
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr
                      : control->FactoryModeWriteManufacturerProductSerialNumber(
                            manufacturer, product, serialNumber);
}

// A non-zero status code is returned as is; an absent card gives E_FAIL.
HRESULT MyFilterGraph::CheckCardPresent(TunerDeviceControl* control) {
    uint32_t present = 0;
    HRESULT hr = control->GetCardStatus(&present);
    if (hr != S_OK) return hr;
    return present == 0 ? E_FAIL : S_OK;
}

HRESULT MyFilterGraph::ResetCard() {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    if (FAILED(hr)) return hr;
    hr = CheckCardPresent(control.Get());
    return hr != S_OK ? hr : control->ResetCard();
}

HRESULT MyFilterGraph::GetCardStatus(uint32_t* cardPresent) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->GetCardStatus(cardPresent);
}

HRESULT MyFilterGraph::TransmitCardCommand(const uint8_t* command, uint32_t length,
                                           uint8_t* response, uint32_t responseSize) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    if (FAILED(hr)) return hr;
    hr = CheckCardPresent(control.Get());
    return hr != S_OK ? hr : control->TransmitCardCommand(command, length, response, responseSize);
}

HRESULT MyFilterGraph::EnablePidFilter(uint32_t enable) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->EnablePidFilter(enable);
}

HRESULT MyFilterGraph::SetPidFilterList(uint32_t count, const uint16_t* pids) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->SetPidFilterList(count, pids);
}
