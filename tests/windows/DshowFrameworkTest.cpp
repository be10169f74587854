// The framework under Wine's filter graph manager: the transform chain's
// method table, the state machine, connection rules, allocator negotiation,
// streaming checks and reference counts. Every case ends by releasing what it
// created and checking that the last Release returns 0.
#include "dshow/CTransInPlaceFilter.h"
#include "dshow/CUnknown.h"
#include "tests/windows/DshowTestPeers.h"
#include "tests/windows/MethodSlot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// {5E2C7B1D-2A61-4F0B-8C9E-3B7A1D0C4E11}
const GUID CLSID_Probe = {0x5E2C7B1D, 0x2A61, 0x4F0B, {0x8C, 0x9E, 0x3B, 0x7A, 0x1D, 0x0C, 0x4E, 0x11}};

// Overrides every main-table hook of the transform chain and records which
// one ran, so a call through a raw table index shows which method sits there.
class Probe : public CTransInPlaceFilter {
public:
    Probe() : CTransInPlaceFilter(nullptr, nullptr, CLSID_Probe, nullptr) {}
    using CTransInPlaceFilter::Transform;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override {
        calls.push_back("NonDelegatingQueryInterface");
        return CTransInPlaceFilter::NonDelegatingQueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override {
        calls.push_back("NonDelegatingAddRef");
        return CTransInPlaceFilter::NonDelegatingAddRef();
    }
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override {
        calls.push_back("NonDelegatingRelease");
        return CTransInPlaceFilter::NonDelegatingRelease();
    }
    HRESULT StreamTime(REFERENCE_TIME*) override { return Record("StreamTime"); }
    LONG GetPinVersion() override { return Record("GetPinVersion"); }
    int GetPinCount() override { return Record("GetPinCount"); }
    CBasePin* GetPin(int n) override {
        Record("GetPin");
        return CTransInPlaceFilter::GetPin(n);
    }
    const REGFILTER2* GetSetupData() override {
        Record("GetSetupData");
        return nullptr;
    }
    HRESULT Transform(IMediaSample*, IMediaSample*) override { return Record("Transform2"); }
    HRESULT CheckInputType(const CMediaType*) override { return Record("CheckInputType"); }
    HRESULT CheckTransform(const CMediaType*, const CMediaType*) override {
        return Record("CheckTransform");
    }
    HRESULT DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*) override {
        return Record("DecideBufferSize");
    }
    HRESULT GetMediaType(int, CMediaType*) override { return Record("GetMediaType"); }
    HRESULT StartStreaming() override { return Record("StartStreaming"); }
    HRESULT StopStreaming() override { return Record("StopStreaming"); }
    HRESULT AlterQuality(Quality) override { return Record("AlterQuality"); }
    HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) override {
        return Record("SetMediaType");
    }
    HRESULT CheckConnect(PIN_DIRECTION, IPin*) override { return Record("CheckConnect"); }
    HRESULT BreakConnect(PIN_DIRECTION) override { return Record("BreakConnect"); }
    HRESULT CompleteConnect(PIN_DIRECTION, IPin*) override { return Record("CompleteConnect"); }
    HRESULT Receive(IMediaSample*) override { return Record("Receive"); }
    HRESULT EndOfStream() override { return Record("EndOfStream"); }
    HRESULT BeginFlush() override { return Record("BeginFlush"); }
    HRESULT EndFlush() override { return Record("EndFlush"); }
    HRESULT NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
        return Record("NewSegment");
    }
    HRESULT Transform(IMediaSample*) override { return Record("Transform1"); }

    int Record(const char* name) {
        calls.push_back(name);
        return 7;
    }
    std::vector<std::string> calls;
};

// Passes samples on in place and counts them; optionally fails StartStreaming.
class PassThrough : public CTransInPlaceFilter {
public:
    PassThrough() : CTransInPlaceFilter(nullptr, nullptr, CLSID_Probe, nullptr, false) {}
    using CTransInPlaceFilter::Transform;
    HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
    HRESULT Transform(IMediaSample*) override {
        ++transformed;
        return S_OK;
    }
    HRESULT StartStreaming() override {
        ++starts;
        return startResult;
    }
    HRESULT StopStreaming() override {
        ++stops;
        return S_OK;
    }
    int transformed = 0;
    int starts = 0;
    int stops = 0;
    HRESULT startResult = S_OK;
};

FILTER_STATE StateOf(IBaseFilter* filter) {
    FILTER_STATE state = static_cast<FILTER_STATE>(-1);
    EXPECT_TRUE(SUCCEEDED(filter->GetState(0, &state)));
    return state;
}

bool AllocatorCommitted(IMemAllocator* allocator) {
    ComPtr<IMediaSample> sample;
    HRESULT hr = allocator->GetBuffer(sample.Receive(), nullptr, nullptr, AM_GBF_NOWAIT);
    return SUCCEEDED(hr);
}

// source -> sink connected directly (no graph), each held once by the test.
struct DirectPair {
    TestPushSource* source = new TestPushSource();
    TestSink* sink = new TestSink();
    ComPtr<IBaseFilter> sourceFilter = TakeFilter(source);
    ComPtr<IBaseFilter> sinkFilter = TakeFilter(sink);

    HRESULT Connect(const AM_MEDIA_TYPE* type = nullptr) {
        return source->pin.Connect(&sink->pin, type);
    }
    void Finish() {
        source->pin.Disconnect();
        sink->pin.Disconnect();
        EXPECT_EQ(0u, sourceFilter.Detach()->Release());
        EXPECT_EQ(0u, sinkFilter.Detach()->Release());
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Method table of the transform chain
// ---------------------------------------------------------------------------

TEST(DshowMethodTable, TransformChainHooksSitAtTheirFixedSlots) {
    auto* probe = new Probe();
    CUnknown* self = probe;
    probe->NonDelegatingAddRef();
    probe->calls.clear();

    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, (CallComMethod<HRESULT, REFIID, void**>(self, 0, IID_IUnknown,
                                                            reinterpret_cast<void**>(&unknown))));
    EXPECT_EQ(3u, CallComMethod<ULONG>(self, 1));
    EXPECT_EQ(2u, CallComMethod<ULONG>(self, 2));
    EXPECT_EQ(1u, unknown->Release());

    // Slots 3 and 4 are the destructor pair; the rest are called in order.
    REFERENCE_TIME time = 0;
    CMediaType type;
    ALLOCATOR_PROPERTIES properties = {};
    Quality quality = {};
    CallMember<HRESULT, REFERENCE_TIME*>(self, 5, &time);
    CallMember<LONG>(self, 6);
    CallMember<int>(self, 7);
    CallMember<CBasePin*, int>(self, 8, 0);
    CallMember<const REGFILTER2*>(self, 9);
    CallMember<HRESULT, IMediaSample*, IMediaSample*>(self, 10, nullptr, nullptr);
    CallMember<HRESULT, const CMediaType*>(self, 11, &type);
    CallMember<HRESULT, const CMediaType*, const CMediaType*>(self, 12, &type, &type);
    CallMember<HRESULT, IMemAllocator*, ALLOCATOR_PROPERTIES*>(self, 13, nullptr, &properties);
    CallMember<HRESULT, int, CMediaType*>(self, 14, 0, &type);
    CallMember<HRESULT>(self, 15);
    CallMember<HRESULT>(self, 16);
    CallMember<HRESULT, Quality>(self, 17, quality);
    CallMember<HRESULT, PIN_DIRECTION, const CMediaType*>(self, 18, PINDIR_INPUT, &type);
    CallMember<HRESULT, PIN_DIRECTION, IPin*>(self, 19, PINDIR_INPUT, nullptr);
    CallMember<HRESULT, PIN_DIRECTION>(self, 20, PINDIR_INPUT);
    CallMember<HRESULT, PIN_DIRECTION, IPin*>(self, 21, PINDIR_INPUT, nullptr);
    CallMember<HRESULT, IMediaSample*>(self, 22, nullptr);
    CallMember<HRESULT>(self, 23);
    CallMember<HRESULT>(self, 24);
    CallMember<HRESULT>(self, 25);
    CallMember<HRESULT, REFERENCE_TIME, REFERENCE_TIME, double>(self, 26, 0, 0, 1.0);
    CallMember<HRESULT, IMediaSample*>(self, 27, nullptr);

    // QueryInterface AddRefs through slot 1; the final Release goes through slot 2.
    const std::vector<std::string> expected = {
        "NonDelegatingQueryInterface", "NonDelegatingAddRef", "NonDelegatingAddRef",
        "NonDelegatingRelease", "NonDelegatingRelease", "StreamTime", "GetPinVersion", "GetPinCount", "GetPin",
        "GetSetupData", "Transform2", "CheckInputType", "CheckTransform", "DecideBufferSize",
        "GetMediaType", "StartStreaming", "StopStreaming", "AlterQuality", "SetMediaType",
        "CheckConnect", "BreakConnect", "CompleteConnect", "Receive", "EndOfStream",
        "BeginFlush", "EndFlush", "NewSegment", "Transform1"};
    EXPECT_EQ(expected, probe->calls);
    // The COM interfaces keep tables of their own.
    EXPECT_NE(static_cast<void*>(static_cast<IBaseFilter*>(probe)), static_cast<void*>(self));
    EXPECT_EQ(0u, probe->NonDelegatingRelease());
}

TEST(DshowMethodTable, BaseImplementationsAnswerAsDocumented) {
    auto* filter = new PassThrough();
    ComPtr<IBaseFilter> held = TakeFilter(filter);
    CMediaType type;
    Quality quality = {};
    CTransformFilter* transform = filter;
    EXPECT_EQ(2, transform->GetPinCount());
    EXPECT_EQ(E_UNEXPECTED, transform->Transform(nullptr, nullptr));
    EXPECT_EQ(S_OK, transform->CheckTransform(&type, &type));
    EXPECT_EQ(E_UNEXPECTED, transform->GetMediaType(0, &type));
    EXPECT_EQ(S_FALSE, transform->AlterQuality(quality));
    EXPECT_EQ(nullptr, static_cast<CBaseFilter*>(filter)->GetSetupData());
    EXPECT_EQ(nullptr, transform->GetPin(2));
    EXPECT_EQ(0u, held.Detach()->Release());
}

// ---------------------------------------------------------------------------
// Reference counts, aggregation and out-parameters
// ---------------------------------------------------------------------------

TEST(DshowReferences, CountStartsAtZeroAndPinsForwardToTheFilter) {
    auto* source = new TestPushSource();
    EXPECT_EQ(0u, source->ReferenceCount());
    ComPtr<IBaseFilter> filter = TakeFilter(source);
    EXPECT_EQ(1u, RefCount(filter.Get()));

    ComPtr<IPin> pin = FindPinByDirection(filter.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(pin);
    EXPECT_EQ(2u, RefCount(filter.Get()));  // the pin's reference is the filter's
    EXPECT_EQ(3u, pin->AddRef());
    EXPECT_EQ(2u, pin->Release());

    PIN_INFO info = {};
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    EXPECT_EQ(static_cast<IBaseFilter*>(source), info.pFilter);
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    EXPECT_STREQ(L"TS Out", info.achName);
    EXPECT_EQ(3u, RefCount(filter.Get()));
    info.pFilter->Release();

    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, filter->EnumPins(pins.Receive()));
    EXPECT_EQ(3u, RefCount(filter.Get()));  // an enumerator keeps its filter
    pins.Reset();
    pin.Reset();
    EXPECT_EQ(1, TestPushSource::liveCount);
    EXPECT_EQ(0u, filter.Detach()->Release());
    EXPECT_EQ(0, TestPushSource::liveCount);
}

namespace {
// An outer object aggregating a framework filter: it answers IUnknown itself
// and hands every other interface to the inner non-delegating unknown.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        ++queries;
        if (IsEqualGUID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    IUnknown* inner = nullptr;
    ULONG references = 1;
    int queries = 0;
};

}  // namespace

TEST(DshowReferences, AggregatedFilterDelegatesToItsOuterUnknown) {
    Outer outer;
    // A filter with an outer unknown: construct through the framework directly.
    struct Inner : public CTransInPlaceFilter {
        explicit Inner(IUnknown* owner)
            : CTransInPlaceFilter(nullptr, owner, CLSID_Probe, nullptr) {}
        using CTransInPlaceFilter::Transform;
        HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
        HRESULT Transform(IMediaSample*) override { return S_OK; }
    };
    auto* inner = new Inner(&outer);
    outer.inner = inner->NonDelegatingUnknown();
    EXPECT_EQ(1u, outer.inner->AddRef());  // the outer's one reference on the inner
    EXPECT_EQ(&outer, inner->GetOwner());

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IBaseFilter, filter.ReceiveVoid()));
    EXPECT_EQ(2u, outer.references);  // counted on the outer object
    EXPECT_EQ(1u, inner->ReferenceCount());

    // Delegating QueryInterface reaches the outer object.
    ComPtr<IUnknown> unknown;
    const int before = outer.queries;
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, unknown.ReceiveVoid()));
    EXPECT_EQ(before + 1, outer.queries);
    EXPECT_EQ(static_cast<IUnknown*>(&outer), unknown.Get());
    unknown.Reset();
    filter.Reset();
    EXPECT_EQ(1u, outer.references);
    EXPECT_EQ(0u, outer.inner->Release());
}

TEST(DshowReferences, OutParametersAreWrittenOnEveryPath) {
    auto* source = new TestPushSource();
    ComPtr<IBaseFilter> filter = TakeFilter(source);
    void* const poison = reinterpret_cast<void*>(static_cast<uintptr_t>(0xDEADBEEF));

    IPin* pin = static_cast<IPin*>(poison);
    EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPin(L"nothing", &pin));
    EXPECT_EQ(nullptr, pin);

    IReferenceClock* clock = static_cast<IReferenceClock*>(poison);
    EXPECT_EQ(S_OK, filter->GetSyncSource(&clock));
    EXPECT_EQ(nullptr, clock);

    LPWSTR vendor = static_cast<LPWSTR>(poison);
    EXPECT_EQ(E_NOTIMPL, filter->QueryVendorInfo(&vendor));
    EXPECT_EQ(nullptr, vendor);

    FILTER_INFO info;
    std::memset(&info, 0xCC, sizeof info);
    EXPECT_EQ(S_OK, filter->QueryFilterInfo(&info));
    EXPECT_EQ(nullptr, info.pGraph);
    EXPECT_EQ(0, info.achName[0]);

    void* object = poison;
    EXPECT_EQ(E_NOINTERFACE, filter->QueryInterface(IID_IMediaControl, &object));
    EXPECT_EQ(nullptr, object);

    IPin* peer = static_cast<IPin*>(poison);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, source->pin.ConnectedTo(&peer));
    EXPECT_EQ(nullptr, peer);

    AM_MEDIA_TYPE type;
    std::memset(&type, 0xCC, sizeof type);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, source->pin.ConnectionMediaType(&type));
    EXPECT_EQ(nullptr, type.pbFormat);
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, type.majortype));

    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, filter->EnumPins(pins.Receive()));
    IPin* fetched[2] = {static_cast<IPin*>(poison), static_cast<IPin*>(poison)};
    ULONG count = 99;
    EXPECT_EQ(S_FALSE, pins->Next(2, fetched, &count));
    EXPECT_EQ(1u, count);
    fetched[0]->Release();
    EXPECT_EQ(S_FALSE, pins->Next(1, fetched, &count));
    EXPECT_EQ(0u, count);
    pins.Reset();

    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, source->pin.QueryId(&id));
    EXPECT_STREQ(L"TS Out", id);
    CoTaskMemFree(id);
    EXPECT_EQ(E_NOTIMPL, source->pin.QueryInternalConnections(nullptr, &count));
    EXPECT_EQ(0u, filter.Detach()->Release());
}

TEST(DshowReferences, MediaTypeCopiesOwnTheirFormatBlock) {
    CMediaType original = TransportStreamType();
    const BYTE format[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(S_OK, original.SetFormat(format, sizeof format));
    CMediaType copy(original);
    ASSERT_NE(original.pbFormat, copy.pbFormat);
    EXPECT_TRUE(copy.Equals(original));
    copy.pbFormat[0] = 9;
    EXPECT_FALSE(copy.Equals(original));
    EXPECT_EQ(1, original.pbFormat[0]);

    CMediaType partial(MEDIATYPE_Stream);
    EXPECT_TRUE(CMediaType::IsPartial(partial));
    EXPECT_TRUE(original.MatchesPartial(partial));
    partial.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    EXPECT_FALSE(original.MatchesPartial(partial));
    EXPECT_FALSE(CMediaType::IsPartial(original));

    AM_MEDIA_TYPE* created = CMediaType::CreateMediaType(&original);
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(5u, created->cbFormat);
    EXPECT_EQ(0, std::memcmp(format, created->pbFormat, 5));
    CMediaType::DeleteMediaType(created);
    original.Clear();
    EXPECT_EQ(nullptr, original.pbFormat);
    EXPECT_EQ(0u, original.cbFormat);
}

// ---------------------------------------------------------------------------
// State machine, directly on the filter
// ---------------------------------------------------------------------------

TEST(DshowStateMachine, MovesThroughEveryStateAndCallsTheHooks) {
    DirectPair pair;
    ASSERT_EQ(S_OK, pair.Connect());
    IBaseFilter* source = pair.sourceFilter.Get();
    EXPECT_EQ(State_Stopped, StateOf(source));

    ASSERT_EQ(S_OK, source->Pause());
    EXPECT_EQ(State_Paused, StateOf(source));
    EXPECT_TRUE(AllocatorCommitted(pair.source->pin.Allocator()));
    ASSERT_EQ(S_OK, source->Run(1000));
    EXPECT_EQ(State_Running, StateOf(source));
    EXPECT_EQ(1000, pair.source->StartTime());
    ASSERT_EQ(S_OK, source->Pause());
    EXPECT_EQ(State_Paused, StateOf(source));
    ASSERT_EQ(S_OK, source->Stop());
    EXPECT_EQ(State_Stopped, StateOf(source));
    EXPECT_FALSE(AllocatorCommitted(pair.source->pin.Allocator()));
    EXPECT_EQ(2, pair.source->hooks.pauses);
    EXPECT_EQ(1, pair.source->hooks.runs);
    EXPECT_EQ(1, pair.source->hooks.stops);

    // Run from Stopped pauses first; Stop from Running stops.
    ASSERT_EQ(S_OK, source->Run(0));
    EXPECT_EQ(3, pair.source->hooks.pauses);
    EXPECT_EQ(State_Running, StateOf(source));
    ASSERT_EQ(S_OK, source->Stop());
    EXPECT_EQ(State_Stopped, StateOf(source));
    pair.Finish();
}

TEST(DshowStateMachine, HookFailureKeepsTheOldState) {
    DirectPair pair;
    ASSERT_EQ(S_OK, pair.Connect());
    IBaseFilter* source = pair.sourceFilter.Get();

    pair.source->hooks.pause = E_FAIL;
    EXPECT_EQ(E_FAIL, source->Pause());
    EXPECT_EQ(State_Stopped, StateOf(source));
    // The pins that went Active for the attempt are Inactive again.
    EXPECT_FALSE(AllocatorCommitted(pair.source->pin.Allocator()));
    EXPECT_EQ(E_FAIL, source->Run(0));
    EXPECT_EQ(State_Stopped, StateOf(source));
    EXPECT_EQ(0, pair.source->hooks.runs);

    pair.source->hooks.pause = S_OK;
    pair.source->hooks.run = VFW_E_RUNTIME_ERROR;
    EXPECT_EQ(VFW_E_RUNTIME_ERROR, source->Run(0));
    EXPECT_EQ(State_Paused, StateOf(source));

    pair.source->hooks.stop = E_ABORT;
    EXPECT_EQ(E_ABORT, source->Stop());
    EXPECT_EQ(State_Paused, StateOf(source));
    pair.source->hooks.stop = S_OK;
    EXPECT_EQ(S_OK, source->Stop());
    EXPECT_EQ(State_Stopped, StateOf(source));
    pair.Finish();
}

TEST(DshowStateMachine, TransformStartStreamingFailureKeepsTheFilterStopped) {
    auto* filter = new PassThrough();
    ComPtr<IBaseFilter> held = TakeFilter(filter);
    DirectPair pair;
    ASSERT_EQ(S_OK, pair.source->pin.Connect(filter->GetPin(0), nullptr));
    filter->startResult = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, held->Pause());
    EXPECT_EQ(State_Stopped, StateOf(held.Get()));
    EXPECT_EQ(0, filter->stops);  // never started, so never stopped
    filter->startResult = S_OK;
    EXPECT_EQ(S_OK, held->Pause());
    EXPECT_EQ(S_OK, held->Stop());
    EXPECT_EQ(2, filter->starts);
    EXPECT_EQ(1, filter->stops);
    pair.source->pin.Disconnect();
    filter->GetPin(0)->Disconnect();
    EXPECT_EQ(0u, held.Detach()->Release());
    pair.Finish();
}

// ---------------------------------------------------------------------------
// Connection rules and allocator negotiation
// ---------------------------------------------------------------------------

TEST(DshowConnection, NegotiatesOwnTypeFirstAndHonoursAGivenType) {
    DirectPair pair;
    ASSERT_EQ(S_OK, pair.Connect());
    EXPECT_TRUE(pair.source->pin.CurrentMediaType().Equals(TransportStreamType()));
    EXPECT_TRUE(pair.sink->pin.CurrentMediaType().Equals(TransportStreamType()));
    AM_MEDIA_TYPE type = {};
    ASSERT_EQ(S_OK, pair.sink->pin.ConnectionMediaType(&type));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_MPEG2_TRANSPORT, type.subtype));
    CMediaType::FreeMediaType(type);
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, pair.Connect());
    EXPECT_EQ(S_OK, pair.source->pin.Disconnect());
    EXPECT_EQ(S_FALSE, pair.source->pin.Disconnect());
    EXPECT_EQ(S_OK, pair.sink->pin.Disconnect());

    // A complete type is used as given.
    CMediaType given = TransportStreamType();
    given.subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
    ASSERT_EQ(S_OK, pair.Connect(&given));
    EXPECT_TRUE(pair.sink->pin.CurrentMediaType().Equals(given));
    pair.source->pin.Disconnect();
    pair.sink->pin.Disconnect();

    // A type the sink refuses fails cleanly and leaves both sides unconnected.
    pair.sink->pin.acceptMajor = MEDIATYPE_Video;
    EXPECT_TRUE(FAILED(pair.Connect()));
    EXPECT_FALSE(pair.source->pin.IsConnected());
    EXPECT_FALSE(pair.sink->pin.IsConnected());
    EXPECT_EQ(nullptr, pair.source->pin.Allocator());
    // Output to output is the wrong direction.
    TestPushSource* other = new TestPushSource();
    ComPtr<IBaseFilter> otherFilter = TakeFilter(other);
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, pair.source->pin.Connect(&other->pin, nullptr));
    EXPECT_EQ(0u, otherFilter.Detach()->Release());
    pair.Finish();
}

TEST(DshowConnection, ConnectingOrDisconnectingRequiresStoppedFilters) {
    DirectPair pair;
    ASSERT_EQ(S_OK, pair.Connect());
    ASSERT_EQ(S_OK, pair.sourceFilter->Run(0));
    EXPECT_EQ(VFW_E_NOT_STOPPED, pair.source->pin.Disconnect());
    EXPECT_TRUE(pair.source->pin.IsConnected());
    ASSERT_EQ(S_OK, pair.sourceFilter->Stop());

    pair.source->pin.Disconnect();
    pair.sink->pin.Disconnect();
    ASSERT_EQ(S_OK, pair.sinkFilter->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, pair.Connect());  // the receiving side is paused
    EXPECT_FALSE(pair.source->pin.IsConnected());
    ASSERT_EQ(S_OK, pair.sinkFilter->Stop());
    ASSERT_EQ(S_OK, pair.sourceFilter->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, pair.Connect());
    ASSERT_EQ(S_OK, pair.sourceFilter->Stop());
    pair.Finish();
}

TEST(DshowConnection, UsesTheInputPinsAllocatorOrMakesOne) {
    DirectPair pair;
    pair.sink->pin.requirements = {3, 1000, 0, 0};  // alignment 0 is raised to 1
    ASSERT_EQ(S_OK, pair.Connect());
    ComPtr<IMemAllocator> offered;
    ASSERT_EQ(S_OK, pair.sink->pin.GetAllocator(offered.Receive()));
    EXPECT_EQ(offered.Get(), pair.source->pin.Allocator());
    EXPECT_EQ(1, pair.source->pin.requested.cbAlign);
    EXPECT_EQ(3, pair.source->pin.requested.cBuffers);
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(S_OK, offered->GetProperties(&actual));
    EXPECT_EQ(4, actual.cBuffers);
    EXPECT_EQ(8192, actual.cbBuffer);
    offered.Reset();
    pair.source->pin.Disconnect();
    pair.sink->pin.Disconnect();

    pair.sink->pin.offerAllocator = false;
    ASSERT_EQ(S_OK, pair.Connect());
    ASSERT_NE(nullptr, pair.source->pin.Allocator());
    EXPECT_EQ(pair.source->pin.Allocator(), pair.sink->pin.Allocator());  // notified
    pair.Finish();
}

// ---------------------------------------------------------------------------
// Streaming through Wine's filter graph manager
// ---------------------------------------------------------------------------

namespace {
struct GraphChain {
    ComPtr<IGraphBuilder> graph = NewGraph();
    TestPushSource* source = new TestPushSource();
    PassThrough* middle = new PassThrough();
    TestSink* sink = new TestSink();
    ComPtr<IBaseFilter> sourceFilter = TakeFilter(source);
    ComPtr<IBaseFilter> middleFilter = TakeFilter(middle);
    ComPtr<IBaseFilter> sinkFilter = TakeFilter(sink);

    void Build() {
        ASSERT_TRUE(graph);
        ASSERT_EQ(S_OK, graph->AddFilter(sourceFilter.Get(), L"source"));
        ASSERT_EQ(S_OK, graph->AddFilter(middleFilter.Get(), L"middle"));
        ASSERT_EQ(S_OK, graph->AddFilter(sinkFilter.Get(), L"sink"));
        ASSERT_EQ(S_OK, graph->ConnectDirect(&source->pin, middle->GetPin(0), nullptr));
        ASSERT_EQ(S_OK, graph->ConnectDirect(middle->GetPin(1), &sink->pin, nullptr));
    }
    void Finish() {
        for (IBaseFilter* filter : {sourceFilter.Get(), middleFilter.Get(), sinkFilter.Get()})
            EXPECT_EQ(S_OK, graph->RemoveFilter(filter));
        EXPECT_EQ(0u, graph.Detach()->Release());
        EXPECT_EQ(0u, sourceFilter.Detach()->Release());
        EXPECT_EQ(0u, middleFilter.Detach()->Release());
        EXPECT_EQ(0u, sinkFilter.Detach()->Release());
    }
};
}  // namespace

TEST(DshowGraph, JoinKeepsNoReferenceOnTheGraph) {
    ComPtr<IGraphBuilder> graph = NewGraph();
    ASSERT_TRUE(graph);
    auto* source = new TestPushSource();
    ComPtr<IBaseFilter> filter = TakeFilter(source);
    const ULONG graphBefore = RefCount(graph.Get());
    ASSERT_EQ(S_OK, graph->AddFilter(filter.Get(), L"named source"));
    EXPECT_EQ(graphBefore, RefCount(graph.Get()));
    EXPECT_EQ(2u, RefCount(filter.Get()));
    EXPECT_STREQ(L"named source", source->Name());

    FILTER_INFO info = {};
    ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
    EXPECT_STREQ(L"named source", info.achName);
    ASSERT_NE(nullptr, info.pGraph);
    EXPECT_EQ(graphBefore + 1, RefCount(graph.Get()));
    info.pGraph->Release();

    ASSERT_EQ(S_OK, graph->RemoveFilter(filter.Get()));
    EXPECT_EQ(nullptr, source->Graph());
    EXPECT_EQ(1u, RefCount(filter.Get()));
    EXPECT_EQ(0u, graph.Detach()->Release());
    EXPECT_EQ(0u, filter.Detach()->Release());
}

TEST(DshowGraph, MediaControlDrivesEveryFilterAndSamplesPassInPlace) {
    GraphChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.Build());
    ComPtr<IMediaControl> control;
    ASSERT_EQ(S_OK, control.QueryFrom(chain.graph.Get(), IID_IMediaControl));
    EXPECT_TRUE(chain.middle->GetPin(1)->CurrentMediaType().Equals(TransportStreamType()));

    ASSERT_EQ(S_OK, control->Pause());
    for (IBaseFilter* f : {chain.sourceFilter.Get(), chain.middleFilter.Get(), chain.sinkFilter.Get()})
        EXPECT_EQ(State_Paused, StateOf(f));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    for (IBaseFilter* f : {chain.sourceFilter.Get(), chain.middleFilter.Get(), chain.sinkFilter.Get()})
        EXPECT_EQ(State_Running, StateOf(f));

    const uint8_t bytes[300] = {0x47, 1, 2, 3};
    IMediaSample* sent = nullptr;
    ASSERT_EQ(S_OK, chain.source->Push(bytes, 300, &sent));
    auto received = chain.sink->pin.Snapshot();
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(sent, received[0].sample);  // the very same sample object
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 300), received[0].bytes);
    EXPECT_EQ(1, chain.middle->transformed);
    sent->Release();

    ASSERT_EQ(S_OK, control->Stop());
    for (IBaseFilter* f : {chain.sourceFilter.Get(), chain.middleFilter.Get(), chain.sinkFilter.Get()})
        EXPECT_EQ(State_Stopped, StateOf(f));
    EXPECT_EQ(1, chain.middle->starts);
    EXPECT_EQ(1, chain.middle->stops);
    control.Reset();
    chain.Finish();
}

TEST(DshowGraph, ReceiveAfterStopFailsCleanly) {
    GraphChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.Build());
    ComPtr<IMediaControl> control;
    ASSERT_EQ(S_OK, control.QueryFrom(chain.graph.Get(), IID_IMediaControl));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    const uint8_t bytes[188] = {0x47};
    ComPtr<IMediaSample> kept;
    ASSERT_EQ(S_OK, chain.source->Push(bytes, 188, kept.Receive()));
    ASSERT_EQ(S_OK, control->Stop());

    ComPtr<IMemInputPin> input;
    ASSERT_EQ(S_OK, input.QueryFrom(chain.middle->GetPin(0), IID_IMemInputPin));
    EXPECT_EQ(VFW_E_WRONG_STATE, input->Receive(kept.Get()));
    EXPECT_EQ(1, chain.middle->transformed);
    EXPECT_EQ(1u, chain.sink->pin.Snapshot().size());
    // Stopped, the source's allocator hands out nothing.
    EXPECT_EQ(VFW_E_NOT_COMMITTED, chain.source->Push(bytes, 188));
    kept.Reset();
    input.Reset();
    control.Reset();
    chain.Finish();
}

TEST(DshowGraph, FlushingRefusesSamplesUntilEndFlush) {
    GraphChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.Build());
    ComPtr<IMediaControl> control;
    ASSERT_EQ(S_OK, control.QueryFrom(chain.graph.Get(), IID_IMediaControl));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    const uint8_t bytes[188] = {0x47};
    ASSERT_EQ(S_OK, chain.source->pin.DeliverBeginFlush());
    EXPECT_TRUE(chain.sink->pin.IsFlushing());  // passed downstream
    EXPECT_EQ(S_FALSE, chain.source->Push(bytes, 188));
    ASSERT_EQ(S_OK, chain.source->pin.DeliverEndFlush());
    EXPECT_FALSE(chain.sink->pin.IsFlushing());
    EXPECT_EQ(S_OK, chain.source->Push(bytes, 188));
    EXPECT_EQ(1u, chain.sink->pin.Snapshot().size());
    ASSERT_EQ(S_OK, chain.source->pin.DeliverNewSegment(10, 20, 1.0));
    EXPECT_EQ(10, chain.sink->pin.SegmentStart());
    EXPECT_EQ(20, chain.sink->pin.SegmentStop());
    ASSERT_EQ(S_OK, control->Stop());
    control.Reset();
    chain.Finish();
}
