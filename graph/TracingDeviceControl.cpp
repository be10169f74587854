#include "graph/TracingDeviceControl.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include "platform/DeviceCallText.h"
#include "platform/KeyedDigest.h"
#include "platform/SystemRandom.h"
#include "platform/Trace.h"

namespace {

using Items = std::vector<DeviceCallItem>;

// Milliseconds since the first traced call of the process.
uint64_t Elapsed() {
    static std::atomic<uint64_t> start{0};
    const uint64_t now = GetTickCount64();
    uint64_t expected = 0;
    start.compare_exchange_strong(expected, now);
    return now - start.load();
}

// Traces one call; never lets a failure of its own reach the caller.
HRESULT Record(const char* operation, HRESULT result, Items in, Items out = Items()) {
    try {
        DeviceCall call;
        call.TimeMs = Elapsed();
        call.Operation = operation;
        call.In = std::move(in);
        call.Result = result;
        if (SUCCEEDED(result)) call.Out = std::move(out);
        TraceLine(("(DeviceCall) " + DeviceCallText::Format(call)).c_str());
    } catch (...) {
    }
    return result;
}

DeviceCallItem Number(uint64_t value) { return DeviceCallItem::Of(value); }

template <class Record>
DeviceCallItem BytesOf(const Record* record) {
    return DeviceCallItem::Of(record, record != nullptr ? sizeof(Record) : 0);
}

// The key of the card digests, drawn once per load. Plain atomics rather
// than a guarded static: the shipped runtime's guard would leave a
// semaphore behind at every unload. A failed draw leaves the key zero and
// the digests are then written as zeros: they say nothing, but nothing of
// the card either.
bool CardDigestKey(KeyedDigest* key) {
    static std::atomic<int> state{0};  // 0 not drawn, 1 drawing, 2 drawn, 3 none to be had
    static uint64_t halves[2];
    int expected = 0;
    if (state.compare_exchange_strong(expected, 1)) {
        state.store(FillSystemRandom(halves, sizeof halves) ? 2 : 3);
    } else {
        while (state.load() == 1) Sleep(0);
    }
    if (state.load() != 2) return false;
    *key = KeyedDigest(halves[0], halves[1]);
    return true;
}

// Card bytes as the line keeps them: length, digest and the last `keptTail`.
DeviceCallItem CardBytes(const uint8_t* bytes, uint32_t length, size_t keptTail) {
    if (bytes == nullptr) return DeviceCallItem::Of(nullptr, 0);
    KeyedDigest key(0, 0);
    const bool keyed = CardDigestKey(&key);
    return DeviceCallItem::HiddenOf(bytes, length, keptTail, keyed ? &key : nullptr);
}

// The card's answer as the device wrote it: its two length bytes and the
// body they announce, within the caller's buffer, the body's status word kept.
DeviceCallItem CardAnswer(const uint8_t* response, uint32_t size) {
    if (response == nullptr || size < 2) return DeviceCallItem::Of(nullptr, 0);
    const uint32_t announced = (uint32_t{response[0]} << 8) | response[1];
    const uint32_t length = announced + 2 <= size ? announced + 2 : size;
    return CardBytes(response, length, length >= 4 ? 2 : 0);
}

}  // namespace

HRESULT STDMETHODCALLTYPE TracingDeviceControl::QueryInterface(REFIID iid, void** object) {
    return inner_.QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE TracingDeviceControl::AddRef() { return inner_.AddRef(); }
ULONG STDMETHODCALLTYPE TracingDeviceControl::Release() { return inner_.Release(); }

HRESULT STDMETHODCALLTYPE TracingDeviceControl::SetTunerMode(uint32_t mode) {
    return Record("SetTunerMode", inner_.SetTunerMode(mode), {Number(mode)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::SetFrequency(const TuneFrequency* frequency) {
    return Record("SetFrequency", inner_.SetFrequency(frequency), {BytesOf(frequency)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::GetSignalStatistics(SignalStatistics* statistics) {
    const HRESULT hr = inner_.GetSignalStatistics(statistics);
    return Record("GetSignalStatistics", hr, {}, {BytesOf(statistics)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::SetTuneRequest(const TuneRequest* request) {
    return Record("SetTuneRequest", inner_.SetTuneRequest(request), {BytesOf(request)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::ReadRemoteControlKey(uint32_t selector,
                                                                     uint32_t* code, uint8_t* key) {
    const HRESULT hr = inner_.ReadRemoteControlKey(selector, code, key);
    // An empty read (S_FALSE) writes nothing.
    Items out;
    if (hr == S_OK && code != nullptr && key != nullptr) out = {Number(*code & 0xFFFF), Number(*key)};
    return Record("ReadRemoteControlKey", hr, {Number(selector)}, out);
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::CheckLNBPowerCircuit(uint32_t value) {
    return Record("CheckLNBPowerCircuit", inner_.CheckLNBPowerCircuit(value), {Number(value)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::SetLNBPower(uint32_t value) {
    return Record("SetLNBPower", inner_.SetLNBPower(value), {Number(value)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::GetLNBPower(uint32_t value) {
    return Record("GetLNBPower", inner_.GetLNBPower(value), {Number(value)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::SetTransportStreanEncryptionFlag(uint32_t flag) {
    return Record("SetTransportStreanEncryptionFlag", inner_.SetTransportStreanEncryptionFlag(flag),
                  {Number(flag)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::ResetCard() {
    return Record("ResetCard", inner_.ResetCard(), {});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::GetCardStatus(uint32_t* cardPresent) {
    const HRESULT hr = inner_.GetCardStatus(cardPresent);
    Items out;
    if (cardPresent != nullptr) out = {Number(*cardPresent)};
    return Record("GetCardStatus", hr, {}, out);
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::TransmitCardCommand(const uint8_t* command,
                                                                    uint32_t length,
                                                                    uint8_t* response,
                                                                    uint32_t responseSize) {
    const HRESULT hr = inner_.TransmitCardCommand(command, length, response, responseSize);
    return Record("TransmitCardCommand", hr, {CardBytes(command, length, 0), Number(responseSize)},
                  {CardAnswer(response, responseSize)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::EnablePidFilter(uint32_t enable) {
    return Record("EnablePidFilter", inner_.EnablePidFilter(enable), {Number(enable)});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::SetPidFilterList(uint32_t count,
                                                                 const uint16_t* pids) {
    const HRESULT hr = inner_.SetPidFilterList(count, pids);
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; pids != nullptr && i < count && i < 32; ++i) {
        bytes.push_back(static_cast<uint8_t>(pids[i]));
        bytes.push_back(static_cast<uint8_t>(pids[i] >> 8));
    }
    return Record("SetPidFilterList", hr,
                  {Number(count), DeviceCallItem::Of(bytes.data(), bytes.size())});
}

HRESULT STDMETHODCALLTYPE TracingDeviceControl::FactoryModeWriteManufacturerProductSerialNumber(
    uint32_t manufacturer, uint32_t product, uint32_t serialNumber) {
    return Record("FactoryModeWriteManufacturerProductSerialNumber",
                  inner_.FactoryModeWriteManufacturerProductSerialNumber(manufacturer, product,
                                                                         serialNumber),
                  {Number(manufacturer), Number(product), Number(serialNumber)});
}
