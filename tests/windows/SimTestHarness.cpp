#include "tests/windows/SimTestHarness.h"

#include <bdaiface.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "sim/SimClassIds.h"
#include "sim/SimDeviceEvents.h"
#include "sim/SimReplayRegistry.h"
#include "sim/SimSourceRegistry.h"

#ifndef SIM_DLL_PATH
#error "SIM_DLL_PATH names TesselSim.dll"
#endif

namespace simtest {
namespace {

HMODULE simModule = nullptr;
SimControl* control = nullptr;
std::vector<SimDeviceRecord> tuners;

class SimEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        simModule = LoadLibraryW(L"" SIM_DLL_PATH);
        ASSERT_NE(simModule, nullptr) << "cannot load TesselSim.dll";
        typedef HRESULT(STDAPICALLTYPE * Register)();
        typedef SimControl* (*GetControl)();
        auto registerServer = reinterpret_cast<Register>(
            reinterpret_cast<void*>(GetProcAddress(simModule, "DllRegisterServer")));
        auto getControl = reinterpret_cast<GetControl>(
            reinterpret_cast<void*>(GetProcAddress(simModule, "SimGetControl")));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_NE(getControl, nullptr);
        ASSERT_EQ(registerServer(), S_OK);
        control = getControl();
        // A run cut short may have left tuners unplugged and events recorded.
        ASSERT_EQ(SimDeviceEvents::Forget(), S_OK);
        ASSERT_EQ(SimRegistry::Clear(), S_OK);
        // A demo run in this prefix may have left channel sources behind.
        ASSERT_EQ(SimSourceRegistry::Clear(), S_OK);
        ASSERT_TRUE(SUCCEEDED(SimReplayRegistry::Clear()));
        ASSERT_EQ(SimRegistry::AddTuners(2, SimRegistry::DefaultTunerName(),
                                         SimRegistry::DefaultPathTemplate(), &tuners),
                  S_OK);
        ASSERT_EQ(SimRegistry::SetReceiverScenario(L"none"), S_OK);
    }
    void TearDown() override {
        SimDeviceEvents::Forget();
        SimRegistry::Clear();
        // The DLL stays loaded: Wine's COM may still hold its class factories.
        CoUninitialize();
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new SimEnvironment);

}  // namespace

SimControl* Control() { return control; }
const std::vector<SimDeviceRecord>& Tuners() { return tuners; }

void UseReceivers(const wchar_t* scenario) {
    ASSERT_EQ(SimRegistry::SetReceiverScenario(scenario), S_OK);
}

int32_t SampleSink::Callback(void* context, const uint8_t* bytes, int32_t length) {
    SampleSink* sink = static_cast<SampleSink*>(context);
    {
        std::lock_guard<std::mutex> guard(sink->mutex_);
        sink->bytes_.insert(sink->bytes_.end(), bytes, bytes + length);
        sink->sizes_.push_back(length);
    }
    sink->arrived_.notify_all();
    return 0;
}

bool SampleSink::WaitForBytes(size_t bytes, DWORD timeoutMs) {
    std::unique_lock<std::mutex> guard(mutex_);
    return arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return bytes_.size() >= bytes; });
}

size_t SampleSink::Size() {
    std::lock_guard<std::mutex> guard(mutex_);
    return bytes_.size();
}

std::vector<uint8_t> SampleSink::Bytes() {
    std::lock_guard<std::mutex> guard(mutex_);
    return bytes_;
}

std::vector<int32_t> SampleSink::Sizes() {
    std::lock_guard<std::mutex> guard(mutex_);
    return sizes_;
}

ComPtr<IGraphBuilder> NewGraph() {
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     graph.ReceiveVoid());
    return graph;
}

ComPtr<IBaseFilter> NewFilter(REFCLSID clsid) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.ReceiveVoid());
    return filter;
}

namespace {

// Reads a string property from a moniker's property bag ("" when missing).
std::wstring ReadProperty(IMoniker* moniker, const wchar_t* name) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid())))
        return L"";
    VARIANT value;
    VariantInit(&value);
    std::wstring text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && V_VT(&value) == VT_BSTR)
        text = V_BSTR(&value);
    VariantClear(&value);
    return text;
}

ComPtr<IBaseFilter> BindWhere(const GUID& category, const wchar_t* property,
                              const std::wstring& wanted) {
    ComPtr<ICreateDevEnum> devices;
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid())) ||
        devices->CreateClassEnumerator(category, monikers.Receive(), 0) != S_OK)
        return ComPtr<IBaseFilter>();
    for (ComPtr<IMoniker> moniker; monikers->Next(1, moniker.Receive(), nullptr) == S_OK;) {
        if (ReadProperty(moniker.Get(), property) != wanted) continue;
        ComPtr<IBaseFilter> filter;
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReceiveVoid());
        return filter;
    }
    return ComPtr<IBaseFilter>();
}

}  // namespace

ComPtr<IBaseFilter> BindTuner(const SimDeviceRecord& record) {
    return BindWhere(SimCategoryNetworkTuner, L"DevicePath", record.devicePath);
}

ComPtr<IBaseFilter> BindReceiver(const wchar_t* name) {
    return BindWhere(SimCategoryReceiverComponent, L"FriendlyName", name);
}

CTsWriter* NewWriter(ComPtr<IBaseFilter>* filter) {
    CTsWriter* writer = CreateTsWriter(nullptr, nullptr);
    if (writer != nullptr) filter->QueryFrom(writer->NonDelegatingUnknown(), IID_IBaseFilter);
    return writer;
}

ComPtr<IPin> PinAt(IBaseFilter* filter, int index) {
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> pin;
    if (FAILED(filter->EnumPins(pins.Receive()))) return pin;
    for (int i = 0; i <= index; ++i)
        if (pins->Next(1, pin.Receive(), nullptr) != S_OK) return ComPtr<IPin>();
    return pin;
}

int PinCount(IBaseFilter* filter) {
    int count = 0;
    while (PinAt(filter, count)) ++count;
    return count;
}

HRESULT CreateTunerPins(IBaseFilter* tuner) {
    ComPtr<IBDA_Topology> topology;
    HRESULT hr = topology.QueryFrom(tuner, IidBdaTopology);
    ULONG id = 0;
    if (SUCCEEDED(hr)) hr = topology->CreatePin(0, &id);
    if (SUCCEEDED(hr)) hr = topology->CreatePin(1, &id);
    return hr;
}

namespace {

ComPtr<IPin> FreePin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    for (int i = 0;; ++i) {
        ComPtr<IPin> pin = PinAt(filter, i);
        if (!pin) return pin;
        PIN_DIRECTION direction;
        ComPtr<IPin> peer;
        pin->QueryDirection(&direction);
        pin->ConnectedTo(peer.Receive());
        if (direction == wanted && !peer) return pin;
    }
}

}  // namespace

HRESULT ConnectFilters(IGraphBuilder* graph, IBaseFilter* upstream, IBaseFilter* downstream) {
    ComPtr<IPin> out = FreePin(upstream, PINDIR_OUTPUT);
    ComPtr<IPin> in = FreePin(downstream, PINDIR_INPUT);
    if (!out || !in) return VFW_E_NO_ACCEPTABLE_TYPES;
    return graph->ConnectDirect(out.Get(), in.Get(), nullptr);
}

ULONG RefCount(IUnknown* unknown) {
    unknown->AddRef();
    return unknown->Release();
}

HRESULT TuneTerrestrial13(IBaseFilter* networkProvider) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = control.QueryFrom(networkProvider, IID_TunerDeviceControl);
    if (FAILED(hr)) return hr;
    TuneRequest request{};
    request.SystemType = SystemTypeIsdbT;
    request.Tsid = 0xFFFFFFFFu;
    request.Tail = {473143, 1000, 6};
    hr = control->SetFrequency(&request.Tail);
    return FAILED(hr) ? hr : control->SetTuneRequest(&request);
}

}  // namespace simtest
