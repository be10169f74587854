#include "sim/SimNetworkProvider.h"

#include <new>

#include "sim/SimClassIds.h"
#include "sim/SimObjectCreation.h"
#include "sim/SimControl.h"
#include "sim/SimDevice.h"
#include "sim/SimDeviceOwner.h"

HRESULT SimNetworkProvider::Create(IUnknown* outer, REFIID iid, void** object) {
    (void)outer;
    HRESULT hr = S_OK;
    return HandOutNewObject(new (std::nothrow) SimNetworkProvider(&hr), &hr, iid, object);
}

SimNetworkProvider::SimNetworkProvider(HRESULT* result)
    : CBaseFilter(nullptr, nullptr, CLSID_SimNetworkProvider), pin_(this, result) {
    SimProcessControl()->Counters()->Created(SimObject::NetworkProvider);
}

SimNetworkProvider::~SimNetworkProvider() {
    SimProcessControl()->Counters()->Destroyed(SimObject::NetworkProvider);
}

HRESULT STDMETHODCALLTYPE SimNetworkProvider::QueryInterface(REFIID iid, void** object) {
    return GetOwner()->QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE SimNetworkProvider::AddRef() { return GetOwner()->AddRef(); }
ULONG STDMETHODCALLTYPE SimNetworkProvider::Release() { return GetOwner()->Release(); }

HRESULT STDMETHODCALLTYPE SimNetworkProvider::NonDelegatingQueryInterface(REFIID iid,
                                                                          void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_TunerDeviceControl)
        return GetInterface(static_cast<TunerDeviceControl*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* SimNetworkProvider::GetPin(int n) { return n == 0 ? &pin_ : nullptr; }

SimDevice* SimNetworkProvider::ConnectedDevice() {
    ComPtr<IPin> peer;
    if (FAILED(pin_.ConnectedTo(peer.Receive())) || !peer) return nullptr;
    PIN_INFO info{};
    if (FAILED(peer->QueryPinInfo(&info))) return nullptr;
    ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::Adopt(info.pFilter);
    ComPtr<ISimDeviceOwner> owner;
    if (FAILED(owner.QueryFrom(filter.Get(), IID_ISimDeviceOwner))) return nullptr;
    return owner->Handle();
}

// Each operation: the connected device does the work, or VFW_E_NOT_CONNECTED.
#define SIM_FORWARD(call)                                          \
    SimDevice* device = ConnectedDevice();                         \
    return device != nullptr ? device->call : VFW_E_NOT_CONNECTED

HRESULT STDMETHODCALLTYPE SimNetworkProvider::SetTunerMode(uint32_t mode) {
    SIM_FORWARD(SetTunerMode(mode));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::SetFrequency(const TuneFrequency* frequency) {
    SIM_FORWARD(SetFrequency(frequency));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::GetSignalStatistics(SignalStatistics* statistics) {
    SIM_FORWARD(GetSignalStatistics(statistics));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::SetTuneRequest(const TuneRequest* request) {
    SIM_FORWARD(SetTuneRequest(request));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::ReadRemoteControlKey(uint32_t selector,
                                                                   uint32_t* code, uint8_t* key) {
    SIM_FORWARD(ReadRemoteControlKey(selector, code, key));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::CheckLNBPowerCircuit(uint32_t value) {
    SIM_FORWARD(CheckLNBPowerCircuit(value));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::SetLNBPower(uint32_t value) {
    SIM_FORWARD(SetLNBPower(value));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::GetLNBPower(uint32_t value) {
    SIM_FORWARD(GetLNBPower(value));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::SetTransportStreanEncryptionFlag(uint32_t flag) {
    SIM_FORWARD(SetTransportStreanEncryptionFlag(flag));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::ResetCard() { SIM_FORWARD(ResetCard()); }
HRESULT STDMETHODCALLTYPE SimNetworkProvider::GetCardStatus(uint32_t* cardPresent) {
    SIM_FORWARD(GetCardStatus(cardPresent));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::TransmitCardCommand(const uint8_t* command,
                                                                  uint32_t length,
                                                                  uint8_t* response,
                                                                  uint32_t responseSize) {
    SIM_FORWARD(TransmitCardCommand(command, length, response, responseSize));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::EnablePidFilter(uint32_t enable) {
    SIM_FORWARD(EnablePidFilter(enable));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::SetPidFilterList(uint32_t count,
                                                               const uint16_t* pids) {
    SIM_FORWARD(SetPidFilterList(count, pids));
}
HRESULT STDMETHODCALLTYPE SimNetworkProvider::FactoryModeWriteManufacturerProductSerialNumber(
    uint32_t manufacturer, uint32_t product, uint32_t serialNumber) {
    SIM_FORWARD(FactoryModeWriteManufacturerProductSerialNumber(manufacturer, product,
                                                                serialNumber));
}

#undef SIM_FORWARD
