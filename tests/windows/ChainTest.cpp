// The whole chain by hand under Wine's filter graph manager: network provider
// -> simulated tuner -> TS writer -> null terminal, each connection made pin
// to pin with ConnectDirect and no media type; and the writer between
// filters that are not ours. Every case ends by stopping, removing and
// releasing each filter and checking that the last Release returns 0.
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "sim/SimClassIds.h"
#include "ts/TsStreamChecker.h"
#include "tests/windows/SimTestHarness.h"
#include "tests/windows/ScopedWatchdog.h"

#ifndef SIM_RECORD_PATH
#error "SIM_RECORD_PATH names the file the recording case writes"
#endif

using namespace simtest;

namespace {

class ChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        Control()->Reset();
        device_ = Control()->Device(reinterpret_cast<const WideChar*>(Tuners()[0].devicePath.c_str()));
        graph_ = NewGraph();
        ASSERT_TRUE(graph_);
        provider_ = NewFilter(CLSID_SimNetworkProvider);
        tuner_ = BindTuner(Tuners()[0]);
        writer_ = NewWriter(&writerFilter_);
        terminal_ = NewFilter(CLSID_SimNullTerminal);
        ASSERT_TRUE(provider_ && tuner_ && writer_ && writerFilter_ && terminal_);
        ASSERT_EQ(CreateTunerPins(tuner_.Get()), S_OK);
        ASSERT_EQ(graph_->AddFilter(provider_.Get(), L"Tessel's Network Provider"), S_OK);
        ASSERT_EQ(graph_->AddFilter(tuner_.Get(), L"Tuner"), S_OK);
        ASSERT_EQ(graph_->AddFilter(writerFilter_.Get(), L"Tessel's TS Buffer Writer"), S_OK);
        ASSERT_EQ(graph_->AddFilter(terminal_.Get(), L"Null Terminal"), S_OK);
        ASSERT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
        ASSERT_EQ(ConnectFilters(graph_.Get(), tuner_.Get(), writerFilter_.Get()), S_OK);
        ASSERT_EQ(ConnectFilters(graph_.Get(), writerFilter_.Get(), terminal_.Get()), S_OK);
        writer_->SetCallback(&SampleSink::Callback, &sink_);
    }

    void TearDown() override {
        if (!graph_) return;
        ComPtr<IMediaControl> control;
        ASSERT_EQ(control.QueryFrom(graph_.Get(), IID_IMediaControl), S_OK);
        EXPECT_TRUE(SUCCEEDED(control->Stop()));
        control.Reset();
        writer_->SetCallback(nullptr, nullptr);
        for (IBaseFilter* filter :
             {provider_.Get(), tuner_.Get(), writerFilter_.Get(), terminal_.Get()})
            EXPECT_EQ(graph_->RemoveFilter(filter), S_OK);
        EXPECT_EQ(provider_.Detach()->Release(), 0u);
        EXPECT_EQ(tuner_.Detach()->Release(), 0u);
        writer_ = nullptr;
        EXPECT_EQ(writerFilter_.Detach()->Release(), 0u);
        EXPECT_EQ(terminal_.Detach()->Release(), 0u);
        EXPECT_EQ(graph_.Detach()->Release(), 0u);
        EXPECT_EQ(Control()->Counters()->Alive(SimObject::TunerFilter), 0);
        EXPECT_EQ(Control()->Counters()->Alive(SimObject::Pin), 0);
    }

    HRESULT Run() {
        ComPtr<IMediaControl> control;
        HRESULT hr = control.QueryFrom(graph_.Get(), IID_IMediaControl);
        return FAILED(hr) ? hr : control->Run();
    }

    SimDevice* device_ = nullptr;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IBaseFilter> provider_, tuner_, writerFilter_, terminal_;
    CTsWriter* writer_ = nullptr;
    SampleSink sink_;
};

// Index of `size` in `pattern`, or -1.
int PatternIndex(const std::vector<size_t>& pattern, int32_t size) {
    for (size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] == static_cast<size_t>(size)) return static_cast<int>(i);
    return -1;
}

TEST_F(ChainTest, SamplesReachTheWriterUnchangedInPatternOrder) {
    const std::vector<size_t> pattern = {1000, 188 * 5 + 7, 4096, 188 * 3};
    device_->SetSampleSizes(pattern);
    device_->SetBitRate(0);
    ASSERT_EQ(TuneTerrestrial13(provider_.Get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(Run()));
    ASSERT_TRUE(sink_.WaitForBytes(2 << 20, 20000));

    const std::vector<int32_t> sizes = sink_.Sizes();
    ASSERT_GE(sizes.size(), pattern.size());
    for (size_t i = 0; i + 1 < sizes.size(); ++i) {
        const int at = PatternIndex(pattern, sizes[i]);
        ASSERT_GE(at, 0) << "sample " << i << " has size " << sizes[i];
        EXPECT_EQ(static_cast<size_t>(sizes[i + 1]), pattern[(at + 1) % pattern.size()]);
    }
    const std::vector<uint8_t> bytes = sink_.Bytes();
    TsStreamChecker checker;
    checker.Feed(bytes.data(), bytes.size());
    EXPECT_EQ(bytes[0], 0x47);
    EXPECT_TRUE(checker.Clean());
    EXPECT_EQ(checker.SyncLosses(), 0u);
    EXPECT_EQ(checker.CounterGaps(), 0u);
    EXPECT_EQ(checker.CounterReorders(), 0u);
    EXPECT_EQ(checker.IndexRegressions(), 0u);
    EXPECT_GT(checker.CounterPackets(), 1000u);
}

TEST_F(ChainTest, SamplesBelowOnePacketNeverReachTheCallback) {
    device_->SetSampleSizes({100, 1000, 187});
    device_->SetBitRate(0);
    ASSERT_EQ(TuneTerrestrial13(provider_.Get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(Run()));
    ASSERT_TRUE(sink_.WaitForBytes(100 * 1000, 20000));
    for (int32_t size : sink_.Sizes()) EXPECT_EQ(size, 1000);
}

TEST_F(ChainTest, NothingFlowsWithoutAChannel) {
    device_->SetBitRate(0);
    ASSERT_TRUE(SUCCEEDED(Run()));
    EXPECT_FALSE(sink_.WaitForBytes(1, 300));
    EXPECT_EQ(device_->State().TsBytesDelivered, 0u);
}

TEST_F(ChainTest, PausedTunerIsALiveSource) {
    ComPtr<IMediaControl> control;
    ASSERT_EQ(control.QueryFrom(graph_.Get(), IID_IMediaControl), S_OK);
    EXPECT_TRUE(SUCCEEDED(control->Pause()));
    FILTER_STATE state = State_Running;
    EXPECT_EQ(tuner_->GetState(0, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    OAFilterState graphState = State_Stopped;
    EXPECT_EQ(control->GetState(1000, &graphState), VFW_S_CANT_CUE);
    EXPECT_EQ(graphState, State_Paused);
}

TEST_F(ChainTest, RunAfterStopDeliversAgain) {
    device_->SetBitRate(0);
    ASSERT_EQ(TuneTerrestrial13(provider_.Get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(Run()));
    ASSERT_TRUE(sink_.WaitForBytes(188 * 1000, 20000));
    ComPtr<IMediaControl> control;
    ASSERT_EQ(control.QueryFrom(graph_.Get(), IID_IMediaControl), S_OK);
    ASSERT_EQ(control->Stop(), S_OK);
    const size_t before = sink_.Bytes().size();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_TRUE(sink_.WaitForBytes(before + 188 * 1000, 20000));
}

// Records a few seconds of paced TS; the ctest step ChainRecordingProbe has
// ffprobe read the file afterwards.
TEST_F(ChainTest, RecordsAPacedStreamThatParses) {
    device_->SetBitRate(8000000);
    ASSERT_EQ(TuneTerrestrial13(provider_.Get()), S_OK);
    ASSERT_TRUE(SUCCEEDED(Run()));
    ASSERT_TRUE(sink_.WaitForBytes(3 * 1000000, 30000));  // 3 s at 8 Mbit/s
    const std::vector<uint8_t> bytes = sink_.Bytes();
    TsStreamChecker checker;
    checker.Feed(bytes.data(), bytes.size());
    EXPECT_TRUE(checker.Clean());
    EXPECT_EQ(checker.CounterGaps(), 0u);
    EXPECT_EQ(checker.CounterReorders(), 0u);
    EXPECT_TRUE(checker.HasPat());
    EXPECT_TRUE(checker.HasPmt());
    EXPECT_GT(checker.PcrCount(), 10u);
    std::ofstream file(SIM_RECORD_PATH, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file.good());
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(file.good());
}

// Wine's own Sample Grabber and Null Renderer, created by class id.
const CLSID ClsidSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID ClsidNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// Bound for one state change: a hang, not a slow call, trips it.
constexpr DWORD StateChangeBoundMs = 30000;

// provider -> tuner -> Wine's Sample Grabber -> writer -> Wine's Null
// Renderer. The renderer holds a sample in Receive while paused, as any
// renderer may, so the tuner's state changes must not wait for its thread.
struct ForeignChain {
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<IBaseFilter> provider = NewFilter(CLSID_SimNetworkProvider);
    ComPtr<IBaseFilter> tuner = BindTuner(Tuners()[0]);
    ComPtr<IBaseFilter> grabber = NewFilter(ClsidSampleGrabber);
    ComPtr<IBaseFilter> writerFilter;
    CTsWriter* writer = NewWriter(&writerFilter);
    ComPtr<IBaseFilter> renderer = NewFilter(ClsidNullRenderer);
    ComPtr<IMediaControl> control;
    SampleSink sink;

    void Build() {
        ASSERT_TRUE(graph && provider && tuner && writer && writerFilter);
        ASSERT_TRUE(grabber) << "Wine's Sample Grabber";
        ASSERT_TRUE(renderer) << "Wine's Null Renderer";
        ASSERT_EQ(CreateTunerPins(tuner.Get()), S_OK);
        const std::pair<IBaseFilter*, const wchar_t*> filters[] = {
            {provider.Get(), L"Provider"}, {tuner.Get(), L"Tuner"}, {grabber.Get(), L"Grabber"},
            {writerFilter.Get(), L"Writer"}, {renderer.Get(), L"Renderer"}};
        for (const auto& filter : filters)
            ASSERT_EQ(graph->AddFilter(filter.first, filter.second), S_OK);
        for (size_t i = 0; i + 1 < 5; ++i)
            ASSERT_EQ(ConnectFilters(graph.Get(), filters[i].first, filters[i + 1].first), S_OK)
                << i;
        ASSERT_EQ(control.QueryFrom(graph.Get(), IID_IMediaControl), S_OK);
        writer->SetCallback(&SampleSink::Callback, &sink);
    }
    // One state change under the watchdog.
    HRESULT Change(const char* what, const std::function<HRESULT(IMediaControl*)>& call) {
        ScopedWatchdog watchdog(what, StateChangeBoundMs);
        return call(control.Get());
    }
    void Finish() {
        control.Reset();
        writer->SetCallback(nullptr, nullptr);
        for (IBaseFilter* filter :
             {provider.Get(), tuner.Get(), grabber.Get(), writerFilter.Get(), renderer.Get()})
            EXPECT_EQ(graph->RemoveFilter(filter), S_OK);
        for (ComPtr<IBaseFilter>* filter : {&provider, &tuner, &grabber, &writerFilter, &renderer})
            EXPECT_EQ(filter->Detach()->Release(), 0u);
        EXPECT_EQ(graph.Detach()->Release(), 0u);
    }
};

TEST(ForeignChainTest, WriterBetweenWineGrabberAndNullRendererRunsPausesAndStops) {
    constexpr size_t Step = 188 * 2000;
    for (uint64_t bitRate : {uint64_t{8000000}, uint64_t{0}}) {
        SCOPED_TRACE(bitRate == 0 ? "unpaced" : "paced");
        Control()->Reset();
        Control()
            ->Device(reinterpret_cast<const WideChar*>(Tuners()[0].devicePath.c_str()))
            ->SetBitRate(bitRate);
        ForeignChain chain;
        ASSERT_NO_FATAL_FAILURE(chain.Build());
        ASSERT_EQ(TuneTerrestrial13(chain.provider.Get()), S_OK);

        const auto run = [](IMediaControl* control) { return control->Run(); };
        const auto pause = [](IMediaControl* control) { return control->Pause(); };
        const auto stop = [](IMediaControl* control) { return control->Stop(); };
        EXPECT_TRUE(SUCCEEDED(chain.Change("Run", run)));
        EXPECT_TRUE(chain.sink.WaitForBytes(Step, 20000));
        EXPECT_TRUE(SUCCEEDED(chain.Change("Pause", pause)));
        const size_t paused = chain.sink.Bytes().size();
        EXPECT_TRUE(SUCCEEDED(chain.Change("Run after Pause", run)));
        EXPECT_TRUE(chain.sink.WaitForBytes(paused + Step, 20000));
        EXPECT_EQ(chain.Change("Stop", stop), S_OK);

        const std::vector<uint8_t> bytes = chain.sink.Bytes();
        TsStreamChecker checker;
        checker.Feed(bytes.data(), bytes.size());
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(bytes[0], 0x47);
        EXPECT_TRUE(checker.Clean());
        EXPECT_EQ(checker.SyncLosses(), 0u);
        EXPECT_EQ(checker.CounterGaps(), 0u);
        EXPECT_EQ(checker.CounterReorders(), 0u);
        EXPECT_GE(checker.Packets(), 2 * Step / 188);
        chain.Finish();
    }
}

}  // namespace
