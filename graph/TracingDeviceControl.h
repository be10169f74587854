// TracingDeviceControl: in the tracing build, every TunerDeviceControl call
// passes through this wrapper, which hands it on and then traces it as one
// device-call line ("(DeviceCall) " and DeviceCallText's form): the time,
// the operation, its inputs, its result code and what the device wrote. It
// lives for one call, on the caller's stack, over the interface the call
// queried; it adds no reference of its own.
//
// The smart card's commands and answers carry the card's identity, and the
// debug output is anyone's to read: of them the line keeps only the length,
// an answer's status word and a digest keyed with a random value this load
// of the library draws at its first card call and never writes anywhere.
#pragma once

#include "platform/TunerDeviceControl.h"

class TracingDeviceControl final : public TunerDeviceControl {
public:
    explicit TracingDeviceControl(TunerDeviceControl& inner) : inner_(inner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

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
                                                  uint8_t* response, uint32_t responseSize) override;
    HRESULT STDMETHODCALLTYPE EnablePidFilter(uint32_t enable) override;
    HRESULT STDMETHODCALLTYPE SetPidFilterList(uint32_t count, const uint16_t* pids) override;
    HRESULT STDMETHODCALLTYPE FactoryModeWriteManufacturerProductSerialNumber(
        uint32_t manufacturer, uint32_t product, uint32_t serialNumber) override;

private:
    // The slots no caller uses.
#define TDC_UNUSED(slot) \
    HRESULT STDMETHODCALLTYPE Reserved##slot() override { return E_NOTIMPL; }
    TDC_UNUSED(4) TDC_UNUSED(6) TDC_UNUSED(7) TDC_UNUSED(10) TDC_UNUSED(11) TDC_UNUSED(12)
    TDC_UNUSED(14) TDC_UNUSED(15) TDC_UNUSED(16) TDC_UNUSED(17) TDC_UNUSED(18) TDC_UNUSED(19)
    TDC_UNUSED(20) TDC_UNUSED(21) TDC_UNUSED(22) TDC_UNUSED(26) TDC_UNUSED(27) TDC_UNUSED(28)
    TDC_UNUSED(30) TDC_UNUSED(33) TDC_UNUSED(34) TDC_UNUSED(36) TDC_UNUSED(37) TDC_UNUSED(38)
    TDC_UNUSED(39) TDC_UNUSED(42) TDC_UNUSED(43)
#undef TDC_UNUSED

    TunerDeviceControl& inner_;
};
