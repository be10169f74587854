// The whole chain by hand under Wine's filter graph manager: network provider
// -> simulated tuner -> TS writer -> null terminal, each connection made pin
// to pin with ConnectDirect and no media type. Every case ends by stopping,
// removing and releasing each filter and checking that the last Release
// returns 0.
#include <fstream>

#include <gtest/gtest.h>

#include "sim/SimClassIds.h"
#include "ts/TsStreamChecker.h"
#include "tests/windows/SimTestHarness.h"

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

}  // namespace
