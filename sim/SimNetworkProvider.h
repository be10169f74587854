// The maker's network provider filter, simulated: one output pin and the
// TunerDeviceControl interface. Every operation is forwarded to the simulated
// device of the tuner filter whose input pin our output pin is connected to,
// found afresh for each call (through the tuner's handle, so a tuner filter
// older than the device's last replug reaches a dead one). While the pin is
// unconnected every operation answers VFW_E_NOT_CONNECTED (0x80040209) and
// touches no device; the placeholder slots answer E_NOTIMPL.
#pragma once

#include "dshow/CBaseFilter.h"
#include "platform/TunerDeviceControl.h"
#include "sim/SimModule.h"
#include "sim/SimNetworkProviderPin.h"

class SimDevice;

class SimNetworkProvider : public CBaseFilter, public TunerDeviceControl {
public:
    // Class-factory entry: a new filter queried for `iid`; the caller owns
    // the reference written to *object.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    // IUnknown of every interface: delegates to the filter's owner.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    // TunerDeviceControl
    HRESULT STDMETHODCALLTYPE SetTunerMode(uint32_t mode) override;
    HRESULT STDMETHODCALLTYPE SetFrequency(const TuneFrequency* frequency) override;
    HRESULT STDMETHODCALLTYPE GetSignalStatistics(SignalStatistics* statistics) override;
    HRESULT STDMETHODCALLTYPE SetTuneRequest(const TuneRequest* request) override;
    HRESULT STDMETHODCALLTYPE ReadRemoteControlKey(uint32_t selector, uint32_t* code,
                                                   uint8_t* key) override;
    HRESULT STDMETHODCALLTYPE CheckLNBPowerCircuit(uint32_t value) override;
    HRESULT STDMETHODCALLTYPE SetLNBPower(uint32_t value) override;
    HRESULT STDMETHODCALLTYPE GetLNBPower(uint32_t value) override;
    HRESULT STDMETHODCALLTYPE SetTransportStreanEncryptionFlag(uint32_t flag) override;
    HRESULT STDMETHODCALLTYPE ResetCard() override;
    HRESULT STDMETHODCALLTYPE GetCardStatus(uint32_t* cardPresent) override;
    HRESULT STDMETHODCALLTYPE TransmitCardCommand(const uint8_t* command, uint32_t length,
                                                  uint8_t* response,
                                                  uint32_t responseSize) override;
    HRESULT STDMETHODCALLTYPE EnablePidFilter(uint32_t enable) override;
    HRESULT STDMETHODCALLTYPE SetPidFilterList(uint32_t count, const uint16_t* pids) override;
    HRESULT STDMETHODCALLTYPE FactoryModeWriteManufacturerProductSerialNumber(
        uint32_t manufacturer, uint32_t product, uint32_t serialNumber) override;

#define SIM_PLACEHOLDER(slot) \
    HRESULT STDMETHODCALLTYPE Reserved##slot() override { return E_NOTIMPL; }
    SIM_PLACEHOLDER(4)
    SIM_PLACEHOLDER(6)
    SIM_PLACEHOLDER(7)
    SIM_PLACEHOLDER(10)
    SIM_PLACEHOLDER(11)
    SIM_PLACEHOLDER(12)
    SIM_PLACEHOLDER(14)
    SIM_PLACEHOLDER(15)
    SIM_PLACEHOLDER(16)
    SIM_PLACEHOLDER(17)
    SIM_PLACEHOLDER(18)
    SIM_PLACEHOLDER(19)
    SIM_PLACEHOLDER(20)
    SIM_PLACEHOLDER(21)
    SIM_PLACEHOLDER(22)
    SIM_PLACEHOLDER(26)
    SIM_PLACEHOLDER(27)
    SIM_PLACEHOLDER(28)
    SIM_PLACEHOLDER(30)
    SIM_PLACEHOLDER(33)
    SIM_PLACEHOLDER(34)
    SIM_PLACEHOLDER(36)
    SIM_PLACEHOLDER(37)
    SIM_PLACEHOLDER(38)
    SIM_PLACEHOLDER(39)
    SIM_PLACEHOLDER(42)
    SIM_PLACEHOLDER(43)
#undef SIM_PLACEHOLDER

private:
    explicit SimNetworkProvider(HRESULT* result);
    ~SimNetworkProvider() override;

    // What the tuner filter at the other end of our pin reaches
    // (ISimDeviceOwner::Handle), or null when the pin is unconnected or the
    // peer is not a simulated tuner.
    SimDevice* ConnectedDevice();

    SimModuleObject moduleObject_;
    SimNetworkProviderPin pin_;
};
