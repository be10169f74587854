// TunerDeviceControl: the tuner driver's control interface on the maker's
// network provider filter. The driver and this library meet only by
// method-table position, so every slot up to 44 is declared, the unused ones
// as placeholders that keep the positions. Do not reorder.
#pragma once

#include "platform/TuneRequest.h"
#include "platform/ComTypes.h"

// {9365A8E3-08AC-44CD-8363-D88232B7B718}
constexpr GUID IID_TunerDeviceControl = {
    0x9365A8E3, 0x08AC, 0x44CD, {0x83, 0x63, 0xD8, 0x82, 0x32, 0xB7, 0xB7, 0x18}};

// The selector every caller passes to ReadRemoteControlKey.
constexpr uint32_t RemoteKeySelector = 3;

#define TDC_PLACEHOLDER(slot) virtual HRESULT STDMETHODCALLTYPE Reserved##slot() = 0

struct TunerDeviceControl : public IUnknown {  // slots 0-2
    virtual HRESULT STDMETHODCALLTYPE SetTunerMode(uint32_t mode) = 0;  // 3
    TDC_PLACEHOLDER(4);
    virtual HRESULT STDMETHODCALLTYPE SetFrequency(const TuneFrequency* frequency) = 0;  // 5
    TDC_PLACEHOLDER(6);
    TDC_PLACEHOLDER(7);
    virtual HRESULT STDMETHODCALLTYPE GetSignalStatistics(SignalStatistics* statistics) = 0;  // 8
    virtual HRESULT STDMETHODCALLTYPE SetTuneRequest(const TuneRequest* request) = 0;        // 9
    TDC_PLACEHOLDER(10);
    TDC_PLACEHOLDER(11);
    TDC_PLACEHOLDER(12);
    // Fills the low 16 bits of *code with the custom code and *key with the key code.
    virtual HRESULT STDMETHODCALLTYPE ReadRemoteControlKey(uint32_t selector, uint32_t* code,
                                                           uint8_t* key) = 0;  // 13
    TDC_PLACEHOLDER(14);
    TDC_PLACEHOLDER(15);
    TDC_PLACEHOLDER(16);
    TDC_PLACEHOLDER(17);
    TDC_PLACEHOLDER(18);
    TDC_PLACEHOLDER(19);
    TDC_PLACEHOLDER(20);
    TDC_PLACEHOLDER(21);
    TDC_PLACEHOLDER(22);
    virtual HRESULT STDMETHODCALLTYPE CheckLNBPowerCircuit(uint32_t value) = 0;  // 23
    virtual HRESULT STDMETHODCALLTYPE SetLNBPower(uint32_t value) = 0;           // 24
    virtual HRESULT STDMETHODCALLTYPE GetLNBPower(uint32_t value) = 0;           // 25
    TDC_PLACEHOLDER(26);
    TDC_PLACEHOLDER(27);
    TDC_PLACEHOLDER(28);
    virtual HRESULT STDMETHODCALLTYPE SetTransportStreanEncryptionFlag(uint32_t flag) = 0;  // 29
    TDC_PLACEHOLDER(30);
    virtual HRESULT STDMETHODCALLTYPE ResetCard() = 0;                          // 31
    virtual HRESULT STDMETHODCALLTYPE GetCardStatus(uint32_t* cardPresent) = 0;  // 32
    TDC_PLACEHOLDER(33);
    TDC_PLACEHOLDER(34);
    virtual HRESULT STDMETHODCALLTYPE TransmitCardCommand(const uint8_t* command, uint32_t length,
                                                          uint8_t* response,
                                                          uint32_t responseSize) = 0;  // 35
    TDC_PLACEHOLDER(36);
    TDC_PLACEHOLDER(37);
    TDC_PLACEHOLDER(38);
    TDC_PLACEHOLDER(39);
    virtual HRESULT STDMETHODCALLTYPE EnablePidFilter(uint32_t enable) = 0;  // 40
    virtual HRESULT STDMETHODCALLTYPE SetPidFilterList(uint32_t count,
                                                       const uint16_t* pids) = 0;  // 41
    TDC_PLACEHOLDER(42);
    TDC_PLACEHOLDER(43);
    virtual HRESULT STDMETHODCALLTYPE FactoryModeWriteManufacturerProductSerialNumber(
        uint32_t manufacturer, uint32_t product, uint32_t serialNumber) = 0;  // 44
};

#undef TDC_PLACEHOLDER
