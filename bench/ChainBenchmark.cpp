// Chain benchmark (Windows, under Wine): the simulated tuner, replaying a
// pre-generated ring (ReplayRing), streams unpaced through Wine's filter graph
// into the TS writer, whose callback only counts the bytes. Prints the
// chain's throughput in MB/s beside a plain memcpy of the same number of
// bytes in samples of the same size, measured in the same run, and their
// ratio.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include <windows.h>
#include <bdaiface.h>

#include "bench/BenchFigure.h"
#include "bench/ReplayRing.h"
#include "dshow/ComPtr.h"
#include "filter/CTsWriter.h"
#include "platform/BdaGuids.h"
#include "platform/TunerDeviceControl.h"
#include "sim/SimClassIds.h"
#include "sim/SimControl.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRunTime = std::chrono::seconds(3);

std::atomic<uint64_t> chainBytes{0};

int32_t CountBytes(void*, const uint8_t*, int32_t length) {
    chainBytes.fetch_add(static_cast<uint64_t>(length), std::memory_order_relaxed);
    return 0;
}

ComPtr<IBaseFilter> NewFilter(REFCLSID clsid) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.ReceiveVoid());
    return filter;
}

ComPtr<IPin> Pin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.Receive());
    for (ComPtr<IPin> pin; pins && pins->Next(1, pin.Receive(), nullptr) == S_OK;) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
    }
    return ComPtr<IPin>();
}

HRESULT Connect(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
    ComPtr<IPin> out = Pin(from, PINDIR_OUTPUT), in = Pin(to, PINDIR_INPUT);
    return out && in ? graph->ConnectDirect(out.Get(), in.Get(), nullptr) : E_FAIL;
}

HRESULT Tune(IBaseFilter* provider) {
    ComPtr<TunerDeviceControl> control;
    HRESULT hr = control.QueryFrom(provider, IID_TunerDeviceControl);
    TuneRequest request{};
    request.Tsid = 0xFFFFFFFFu;
    request.Tail = {473143, 1000, 6};
    return FAILED(hr) ? hr : control->SetTuneRequest(&request);
}

// Streams for kRunTime and returns MB/s (0 on failure).
double MeasureChain(SimControl* sim) {
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     graph.ReceiveVoid());
    ComPtr<IBaseFilter> provider = NewFilter(CLSID_SimNetworkProvider);
    ComPtr<IBaseFilter> tuner = NewFilter(CLSID_SimTunerFilter);
    ComPtr<IBaseFilter> terminal = NewFilter(CLSID_SimNullTerminal);
    CTsWriter* writer = CreateTsWriter(nullptr, nullptr);
    ComPtr<IBaseFilter> writerFilter;
    if (!graph || !provider || !tuner || !terminal || writer == nullptr) return 0;
    writerFilter.QueryFrom(writer->NonDelegatingUnknown(), IID_IBaseFilter);
    ComPtr<IBDA_Topology> topology;
    ULONG id = 0;
    if (FAILED(topology.QueryFrom(tuner.Get(), IidBdaTopology)) || !topology) return 0;
    topology->CreatePin(0, &id);
    topology->CreatePin(1, &id);
    sim->DefaultDevice()->SetBitRate(0);
    HRESULT hr = S_OK;
    for (IBaseFilter* filter : {provider.Get(), tuner.Get(), writerFilter.Get(), terminal.Get()})
        if (SUCCEEDED(hr)) hr = graph->AddFilter(filter, nullptr);
    if (SUCCEEDED(hr)) hr = Connect(graph.Get(), provider.Get(), tuner.Get());
    if (SUCCEEDED(hr)) hr = Connect(graph.Get(), tuner.Get(), writerFilter.Get());
    if (SUCCEEDED(hr)) hr = Connect(graph.Get(), writerFilter.Get(), terminal.Get());
    if (SUCCEEDED(hr)) hr = Tune(provider.Get());
    ComPtr<IMediaControl> control;
    if (SUCCEEDED(hr)) hr = control.QueryFrom(graph.Get(), IID_IMediaControl);
    if (FAILED(hr)) {
        std::printf("chain set-up failed (0x%08lX)\n", static_cast<unsigned long>(hr));
        return 0;
    }
    writer->SetCallback(&CountBytes, nullptr);
    const Clock::time_point start = Clock::now();
    control->Run();
    Sleep(static_cast<DWORD>(std::chrono::milliseconds(kRunTime).count()));
    const uint64_t bytes = chainBytes.load();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    control->Stop();
    writer->SetCallback(nullptr, nullptr);
    return bytes / seconds / 1e6;
}

// Copies `total` bytes in samples of `sampleSize` bytes; returns MB/s.
double MeasureMemcpy(uint64_t total, size_t sampleSize) {
    std::vector<uint8_t> source(sampleSize * 16, 0x47), target(sampleSize);
    volatile uint8_t sink = 0;
    const Clock::time_point start = Clock::now();
    for (uint64_t done = 0, turn = 0; done < total; done += sampleSize, ++turn) {
        std::memcpy(target.data(), source.data() + (turn % 16) * sampleSize, sampleSize);
        sink = sink + target[turn % sampleSize];
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return total / std::max(seconds, 1e-9) / 1e6;
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    HMODULE sim = LoadLibraryW(L"" SIM_DLL_PATH);
    if (sim == nullptr) return 1;
    auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(sim, "DllRegisterServer")));
    auto getControl = reinterpret_cast<SimControl* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(sim, "SimGetControl")));
    if (registerServer == nullptr || getControl == nullptr || FAILED(registerServer())) return 1;
    SimControl* control = getControl();
    control->Reset();
    control->SetChannelSources(ReplayRing::Everywhere(ReplayRing::Make()));

    const double chain = MeasureChain(control);
    const uint64_t bytes = chainBytes.load();
    const double copy = MeasureMemcpy(bytes, SimDefaultSampleSize);
    PrintFigure("chain (replay -> writer -> callback, unpaced): %.1f MB/s over %.1f MB\n", chain,
                bytes / 1e6);
    PrintFigure("memcpy of the same bytes in %zu-byte samples: %.1f MB/s\n", SimDefaultSampleSize,
                copy);
    PrintFigure("chain / memcpy: %.3f\n", copy > 0 ? chain / copy : 0.0);
    CoUninitialize();
    return chain > 0 ? 0 : 1;
}
