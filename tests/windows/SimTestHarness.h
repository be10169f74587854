// Shared set-up of the simulator suites under Wine: COM for the process,
// TesselSim.dll loaded by its path and registered (with two tuner
// instances and no receiver components) in the test prefix, and the DLL's
// own SimControl. Registration is redone from scratch on every run (unplugged
// tuners back and recorded device events forgotten first), so it is
// idempotent. Also small helpers to build graphs by hand.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "dshow/ComPtr.h"
#include "filter/CTsWriter.h"
#include "platform/TunerDeviceControl.h"
#include "sim/SimControl.h"
#include "sim/SimRegistry.h"

namespace simtest {

// The DLL's process-wide control (not the copy linked into the test).
SimControl* Control();
// The registered tuner instances, in enumeration order.
const std::vector<SimDeviceRecord>& Tuners();
// Receivers of `scenario` replace the current ones; asserts success.
void UseReceivers(const wchar_t* scenario);

// Collects what the writer's callback sees (streaming thread) for the test
// thread to read.
class SampleSink {
public:
    static int32_t Callback(void* context, const uint8_t* bytes, int32_t length);
    // Waits, at most `timeoutMs`, until at least `bytes` bytes arrived.
    bool WaitForBytes(size_t bytes, DWORD timeoutMs);
    std::vector<uint8_t> Bytes();
    // How many bytes arrived so far.
    size_t Size();
    std::vector<int32_t> Sizes();

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<uint8_t> bytes_;
    std::vector<int32_t> sizes_;
};


ComPtr<IGraphBuilder> NewGraph();
// CoCreateInstance in process; null on failure.
ComPtr<IBaseFilter> NewFilter(REFCLSID clsid);
// The tuner filter bound from the device enumerator's moniker of `record`.
ComPtr<IBaseFilter> BindTuner(const SimDeviceRecord& record);
// The first receiver component whose friendly name is `name`, bound.
ComPtr<IBaseFilter> BindReceiver(const wchar_t* name);
// The writer, with its first reference taken (count 1).
CTsWriter* NewWriter(ComPtr<IBaseFilter>* filter);
// The filter's pin with the given index in EnumPins order, or null.
ComPtr<IPin> PinAt(IBaseFilter* filter, int index);
int PinCount(IBaseFilter* filter);
// Exposes the tuner's input and output pins through IBDA_Topology.
HRESULT CreateTunerPins(IBaseFilter* tuner);
// ConnectDirect of upstream's first free output to downstream's first
// free input, with no media type.
HRESULT ConnectFilters(IGraphBuilder* graph, IBaseFilter* upstream, IBaseFilter* downstream);
// Current reference count of `unknown` (AddRef then Release).
ULONG RefCount(IUnknown* unknown);
// Tunes the device behind the network provider to UHF 13ch (473143 kHz).
HRESULT TuneTerrestrial13(IBaseFilter* networkProvider);

}  // namespace simtest
