// CTsWriter: creation and identity, the callback's length rule and
// publication, and samples travelling through Wine's filter graph manager
// from a push source through the writer to a counting sink, in place.
#include "filter/CTsWriter.h"
#include "tests/windows/DshowTestPeers.h"
#include "tests/windows/MethodSlot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Seen {
    void* context;
    const uint8_t* pointer;
    std::vector<uint8_t> bytes;
};

struct Recorder {
    std::vector<Seen> seen;
};

int32_t RecordSample(void* context, const uint8_t* bytes, int32_t length) {
    static_cast<Recorder*>(context)->seen.push_back(
        {context, bytes, std::vector<uint8_t>(bytes, bytes + length)});
    return -1;  // ignored by the writer
}

int32_t CountOther(void* context, const uint8_t*, int32_t) {
    ++*static_cast<int*>(context);
    return 0;
}

ComPtr<IBaseFilter> NewWriter(CTsWriter** writer) {
    HRESULT hr = S_OK;
    *writer = CreateTsWriter(nullptr, &hr);
    EXPECT_EQ(S_OK, hr);
    return TakeFilter(*writer);
}

std::vector<uint8_t> Pattern(long length, uint8_t seed) {
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    if (!bytes.empty()) bytes[0] = 0x47;
    return bytes;
}

}  // namespace

TEST(TsWriterIdentity, CreatedWithCountZeroAndItsOwnClassId) {
    HRESULT hr = S_OK;
    CTsWriter* writer = CreateTsWriter(nullptr, &hr);
    ASSERT_NE(nullptr, writer);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(0u, writer->ReferenceCount());
    EXPECT_EQ(nullptr, writer->ObjectName());
    EXPECT_TRUE(writer->ModifiesData());
    ComPtr<IBaseFilter> filter = TakeFilter(writer);
    EXPECT_EQ(1u, RefCount(filter.Get()));

    CLSID clsid = {};
    ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualGUID(CLSID_TsWriter, clsid));
    const GUID expected = {0x65DC13B3, 0x6F96, 0x4A33, {0x8A, 0x87, 0x82, 0x6B, 0x06, 0x93, 0xDD, 0x25}};
    EXPECT_TRUE(IsEqualGUID(expected, CLSID_TsWriter));

    ComPtr<IPin> input;
    ComPtr<IPin> output;
    ASSERT_EQ(S_OK, filter->FindPin(L"Input", input.Receive()));
    ASSERT_EQ(S_OK, filter->FindPin(L"Output", output.Receive()));
    PIN_DIRECTION direction;
    input->QueryDirection(&direction);
    EXPECT_EQ(PINDIR_INPUT, direction);
    output->QueryDirection(&direction);
    EXPECT_EQ(PINDIR_OUTPUT, direction);
    input.Reset();
    output.Reset();
    EXPECT_EQ(0u, filter.Detach()->Release());
}

TEST(TsWriterIdentity, AcceptsEveryMediaType) {
    CTsWriter* writer = nullptr;
    ComPtr<IBaseFilter> filter = NewWriter(&writer);
    ComPtr<IPin> input;
    ASSERT_EQ(S_OK, filter->FindPin(L"Input", input.Receive()));
    CMediaType empty;
    CMediaType odd(MEDIATYPE_Video);
    odd.subtype = MEDIASUBTYPE_RGB24;
    odd.formattype = FORMAT_VideoInfo;
    const BYTE format[3] = {1, 2, 3};
    odd.SetFormat(format, sizeof format);
    for (const CMediaType* type : {&empty, &odd}) {
        EXPECT_EQ(S_OK, writer->CheckInputType(type));
        EXPECT_EQ(S_OK, input->QueryAccept(type));
    }
    CMediaType stream = TransportStreamType();
    EXPECT_EQ(S_OK, writer->CheckInputType(&stream));
    input.Reset();
    EXPECT_EQ(0u, filter.Detach()->Release());
}

// The pins are made on first use; an enumerator that is the first to ask for
// them must not see that as a change of the pin set.
TEST(TsWriterIdentity, FreshWriterEnumeratesItsPinsOneAtATime) {
    for (bool skipFirst : {false, true}) {
        CTsWriter* writer = nullptr;
        ComPtr<IBaseFilter> filter = NewWriter(&writer);
        ComPtr<IEnumPins> pins;
        ASSERT_EQ(S_OK, filter->EnumPins(pins.Receive()));
        if (skipFirst) {
            ASSERT_EQ(S_OK, pins->Skip(1));
        }
        const std::vector<const wchar_t*> names =
            skipFirst ? std::vector<const wchar_t*>{L"Output"}
                      : std::vector<const wchar_t*>{L"Input", L"Output"};
        for (const wchar_t* name : names) {
            ComPtr<IPin> pin;
            ULONG fetched = 0;
            ASSERT_EQ(S_OK, pins->Next(1, pin.Receive(), &fetched)) << skipFirst;
            EXPECT_EQ(1u, fetched);
            PIN_INFO info = {};
            ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
            EXPECT_STREQ(name, info.achName);
            info.pFilter->Release();
        }
        IPin* none = reinterpret_cast<IPin*>(static_cast<uintptr_t>(0xDEADBEEF));
        ULONG fetched = 9;
        EXPECT_EQ(S_FALSE, pins->Next(1, &none, &fetched));
        EXPECT_EQ(0u, fetched);
        ComPtr<IEnumPins> clone;
        EXPECT_EQ(S_OK, pins->Clone(clone.Receive()));
        clone.Reset();
        pins.Reset();
        EXPECT_EQ(0u, filter.Detach()->Release());
    }
}

TEST(TsWriterTransform, CallsBackOnlyForAtLeastOnePacket) {
    CTsWriter* writer = nullptr;
    ComPtr<IBaseFilter> filter = NewWriter(&writer);
    Recorder recorder;
    writer->SetCallback(RecordSample, &recorder);
    FakeSample* fake = nullptr;
    ComPtr<IMediaSample> sample = FakeSample::Create(4096, &fake);
    const std::vector<uint8_t> bytes = Pattern(4096, 3);
    std::memcpy(fake->buffer.data(), bytes.data(), bytes.size());

    for (long length : {0L, 1L, 187L, -5L, 188L, 189L, 4096L}) {
        fake->actualLength = length;
        EXPECT_EQ(S_OK, writer->Transform(sample.Get())) << length;
    }
    ASSERT_EQ(3u, recorder.seen.size());
    const long lengths[3] = {188, 189, 4096};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(&recorder, recorder.seen[i].context);
        EXPECT_EQ(fake->buffer.data(), recorder.seen[i].pointer);  // no copy
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + lengths[i]),
                  recorder.seen[i].bytes);
    }
    EXPECT_EQ(bytes, fake->buffer);  // never written

    // A sample without a buffer travels on with no callback.
    fake->failPointer = true;
    fake->actualLength = 376;
    EXPECT_EQ(S_OK, writer->Transform(sample.Get()));
    EXPECT_EQ(3u, recorder.seen.size());
    sample.Reset();
    EXPECT_EQ(0u, filter.Detach()->Release());
}

TEST(TsWriterTransform, SetCallbackReplacesAndDetaches) {
    CTsWriter* writer = nullptr;
    ComPtr<IBaseFilter> filter = NewWriter(&writer);
    FakeSample* fake = nullptr;
    ComPtr<IMediaSample> sample = FakeSample::Create(188, &fake);
    fake->actualLength = 188;

    EXPECT_EQ(S_OK, writer->Transform(sample.Get()));  // no callback yet
    Recorder recorder;
    writer->SetCallback(RecordSample, &recorder);
    writer->Transform(sample.Get());
    int others = 0;
    writer->SetCallback(CountOther, &others);
    writer->Transform(sample.Get());
    writer->Transform(sample.Get());
    writer->SetCallback(nullptr, nullptr);
    writer->Transform(sample.Get());
    EXPECT_EQ(1u, recorder.seen.size());
    EXPECT_EQ(2, others);
    EXPECT_EQ(5, fake->pointerCalls);
    sample.Reset();
    EXPECT_EQ(0u, filter.Detach()->Release());
}

TEST(TsWriterTransform, InPlaceTransformSitsAtTheLastMainTableSlot) {
    CTsWriter* writer = nullptr;
    ComPtr<IBaseFilter> filter = NewWriter(&writer);
    int calls = 0;
    writer->SetCallback(CountOther, &calls);
    FakeSample* fake = nullptr;
    ComPtr<IMediaSample> sample = FakeSample::Create(188, &fake);
    fake->actualLength = 188;
    CUnknown* self = writer;
    CMediaType type;
    EXPECT_EQ(S_OK, (CallMember<HRESULT, const CMediaType*>(self, 11, &type)));
    EXPECT_EQ(S_OK, (CallMember<HRESULT, IMediaSample*>(self, 27, sample.Get())));
    EXPECT_EQ(1, calls);
    sample.Reset();
    EXPECT_EQ(0u, filter.Detach()->Release());
}

namespace {
// source -> writer -> sink in Wine's graph manager.
struct WriterChain {
    ComPtr<IGraphBuilder> graph = NewGraph();
    TestPushSource* source = new TestPushSource();
    CTsWriter* writer = nullptr;
    TestSink* sink = new TestSink();
    ComPtr<IBaseFilter> sourceFilter = TakeFilter(source);
    ComPtr<IBaseFilter> writerFilter = NewWriter(&writer);
    ComPtr<IBaseFilter> sinkFilter = TakeFilter(sink);
    ComPtr<IMediaControl> control;

    void Build(const AM_MEDIA_TYPE* type = nullptr) {
        ASSERT_TRUE(graph);
        ASSERT_EQ(S_OK, graph->AddFilter(sourceFilter.Get(), L"source"));
        ASSERT_EQ(S_OK, graph->AddFilter(writerFilter.Get(), L"writer"));
        ASSERT_EQ(S_OK, graph->AddFilter(sinkFilter.Get(), L"sink"));
        ComPtr<IPin> in = FindPinByDirection(writerFilter.Get(), PINDIR_INPUT);
        ComPtr<IPin> out = FindPinByDirection(writerFilter.Get(), PINDIR_OUTPUT);
        ASSERT_EQ(S_OK, graph->ConnectDirect(&source->pin, in.Get(), type));
        ASSERT_EQ(S_OK, graph->ConnectDirect(out.Get(), &sink->pin, nullptr));
        ASSERT_EQ(S_OK, control.QueryFrom(graph.Get(), IID_IMediaControl));
    }
    void Finish() {
        control.Reset();
        for (IBaseFilter* filter : {sourceFilter.Get(), writerFilter.Get(), sinkFilter.Get()})
            EXPECT_EQ(S_OK, graph->RemoveFilter(filter));
        EXPECT_EQ(0u, graph.Detach()->Release());
        EXPECT_EQ(0u, sourceFilter.Detach()->Release());
        EXPECT_EQ(0u, writerFilter.Detach()->Release());
        EXPECT_EQ(0u, sinkFilter.Detach()->Release());
    }
};
}  // namespace

TEST(TsWriterGraph, SamplesReachTheCallbackUnchangedAndTravelOnInPlace) {
    WriterChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.Build());
    Recorder recorder;
    chain.writer->SetCallback(RecordSample, &recorder);
    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));

    const long sizes[] = {188, 187, 0, 376, 1000, 8192};
    std::vector<IMediaSample*> sent;
    for (long size : sizes) {
        const std::vector<uint8_t> bytes = Pattern(size, static_cast<uint8_t>(size));
        IMediaSample* sample = nullptr;
        ASSERT_EQ(S_OK, chain.source->Push(bytes.data(), size, &sample)) << size;
        sent.push_back(sample);
        sample->Release();  // identity only from here on
    }
    ASSERT_EQ(S_OK, chain.control->Stop());

    ASSERT_EQ(4u, recorder.seen.size());  // 187 and 0 do not reach the callback
    const long called[] = {188, 376, 1000, 8192};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(Pattern(called[i], static_cast<uint8_t>(called[i])), recorder.seen[i].bytes);
    auto received = chain.sink->pin.Snapshot();
    ASSERT_EQ(6u, received.size());  // every sample travels on
    for (size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(sent[i], received[i].sample) << i;
        EXPECT_EQ(Pattern(sizes[i], static_cast<uint8_t>(sizes[i])), received[i].bytes) << i;
    }
    chain.Finish();
}

TEST(TsWriterGraph, WithoutCallbackSamplesPassThrough) {
    WriterChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.Build());
    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    const std::vector<uint8_t> bytes = Pattern(1880, 1);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(S_OK, chain.source->Push(bytes.data(), 1880));
    ASSERT_EQ(S_OK, chain.control->Stop());
    auto received = chain.sink->pin.Snapshot();
    ASSERT_EQ(3u, received.size());
    EXPECT_EQ(bytes, received[2].bytes);
    chain.Finish();
}

TEST(TsWriterGraph, ConnectsWithAGivenTypeAndRefusesChangesWhileRunning) {
    WriterChain chain;
    CMediaType given = TransportStreamType();
    given.subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
    ASSERT_NO_FATAL_FAILURE(chain.Build(&given));
    ComPtr<IPin> out = FindPinByDirection(chain.writerFilter.Get(), PINDIR_OUTPUT);
    AM_MEDIA_TYPE type = {};
    ASSERT_EQ(S_OK, out->ConnectionMediaType(&type));
    EXPECT_TRUE(given.Equals(type));  // the output carries the input's type
    CMediaType::FreeMediaType(type);

    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, out->Disconnect());
    EXPECT_EQ(VFW_E_NOT_STOPPED, chain.graph->RemoveFilter(chain.writerFilter.Get()));
    FILTER_STATE state;
    EXPECT_EQ(S_OK, chain.writerFilter->GetState(0, &state));
    EXPECT_EQ(State_Running, state);
    ASSERT_EQ(S_OK, chain.control->Stop());
    out.Reset();
    chain.Finish();
}

TEST(TsWriterGraph, ReceiveMultipleHandsEverySampleOnInOrder) {
    WriterChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.Build());
    Recorder recorder;
    chain.writer->SetCallback(RecordSample, &recorder);
    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    FakeSample* first = nullptr;
    FakeSample* second = nullptr;
    ComPtr<IMediaSample> a = FakeSample::Create(376, &first);
    ComPtr<IMediaSample> b = FakeSample::Create(100, &second);
    first->actualLength = 376;
    second->actualLength = 100;
    IMediaSample* batch[2] = {a.Get(), b.Get()};
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(S_OK, input.QueryFrom(FindPinByDirection(chain.writerFilter.Get(), PINDIR_INPUT).Get(),
                                    IID_IMemInputPin));
    long processed = -1;
    EXPECT_EQ(S_OK, input->ReceiveMultiple(batch, 2, &processed));
    EXPECT_EQ(2, processed);
    ASSERT_EQ(S_OK, chain.control->Stop());
    processed = -1;
    EXPECT_EQ(VFW_E_WRONG_STATE, input->ReceiveMultiple(batch, 2, &processed));
    EXPECT_EQ(0, processed);

    auto received = chain.sink->pin.Snapshot();
    ASSERT_EQ(2u, received.size());
    EXPECT_EQ(a.Get(), received[0].sample);
    EXPECT_EQ(b.Get(), received[1].sample);
    ASSERT_EQ(1u, recorder.seen.size());  // 100 bytes are less than one packet
    EXPECT_EQ(first->buffer.data(), recorder.seen[0].pointer);
    input.Reset();
    a.Reset();
    b.Reset();
    chain.Finish();
}
