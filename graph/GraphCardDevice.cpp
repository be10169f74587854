#include "graph/GraphCardDevice.h"

#include "graph/MyFilterGraph.h"

HRESULT GraphCardDevice::GetCardStatus(uint32_t* present) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = graph_.QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->GetCardStatus(present);
}

HRESULT GraphCardDevice::ResetCard() {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = graph_.QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->ResetCard();
}

HRESULT GraphCardDevice::TransmitCardCommand(const uint8_t* command, uint32_t length,
                                             uint8_t* response, uint32_t responseSize) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = graph_.QueryDeviceControl(control);
    return FAILED(hr) ? hr : control->TransmitCardCommand(command, length, response, responseSize);
}
