// Small filters built on the framework for the Windows suites: a push source
// whose output pin delivers samples when the test asks, a counting sink, a
// stand-alone media sample, and helpers for reference counts and graphs.
// The source and sink have scriptable state hooks so the state machine's
// failure paths can be driven.
#pragma once

#include "dshow/CBaseFilter.h"
#include "dshow/CBaseInputPin.h"
#include "dshow/CBaseOutputPin.h"

#include <cstdint>
#include <mutex>
#include <vector>

// Scripted answers and counts for a filter's state hooks.
struct HookScript {
    HRESULT pause = S_OK;
    HRESULT run = S_OK;
    HRESULT stop = S_OK;
    int pauses = 0;
    int runs = 0;
    int stops = 0;
};

class TestPushSource;

class TestPushPin : public CBaseOutputPin {
public:
    explicit TestPushPin(TestPushSource* filter);
    // Any MEDIATYPE_Stream type.
    HRESULT CheckMediaType(const CMediaType* type) override;
    // One type: MEDIATYPE_Stream / MEDIASUBTYPE_MPEG2_TRANSPORT.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    long bufferCount = 4;
    long bufferSize = 8192;
    ALLOCATOR_PROPERTIES requested = {};  // what the input pin asked for
};

class TestPushSource : public CBaseFilter {
public:
    TestPushSource();
    ~TestPushSource() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin : nullptr; }
    HRESULT OnPause(FILTER_STATE from) override;
    HRESULT OnRun(REFERENCE_TIME start) override;
    HRESULT OnStop() override;

    // Copies `length` bytes into a sample (never waiting for one) and
    // delivers it. *sent, when given, receives the sample AddRef'd.
    HRESULT Push(const uint8_t* bytes, long length, IMediaSample** sent = nullptr);

    TestPushPin pin;
    HookScript hooks;
    static int liveCount;  // constructed minus destroyed
};

class TestSink;

class TestSinkPin : public CBaseInputPin {
public:
    explicit TestSinkPin(TestSink* filter);
    // S_OK for every type whose major type is `acceptMajor` (GUID_NULL: all).
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;

    struct Received {
        IMediaSample* sample;  // identity only, not referenced
        std::vector<uint8_t> bytes;
    };
    std::vector<Received> Snapshot();

    GUID acceptMajor = GUID_NULL;
    bool offerAllocator = true;  // false: GetAllocator answers VFW_E_NO_ALLOCATOR
    ALLOCATOR_PROPERTIES requirements = {};  // answered when cBuffers > 0

private:
    std::mutex mutex_;
    std::vector<Received> received_;
};

class TestSink : public CBaseFilter {
public:
    TestSink();
    ~TestSink() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin : nullptr; }
    HRESULT OnPause(FILTER_STATE from) override;
    HRESULT OnStop() override;

    TestSinkPin pin;
    HookScript hooks;
    static int liveCount;
};

// A media sample on the heap with a buffer of its own; GetPointer can be
// made to fail. Reference counted, starts at 1 (Create).
class FakeSample : public IMediaSample {
public:
    static ComPtr<IMediaSample> Create(long size, FakeSample** self = nullptr);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override;
    long STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL value) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL value) override;
    long STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL value) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* end) override;

    std::vector<uint8_t> buffer;
    long actualLength = 0;
    bool failPointer = false;
    int pointerCalls = 0;

private:
    FakeSample() = default;
    virtual ~FakeSample() = default;
    ULONG references_ = 1;
};

// The count after an AddRef/Release pair (i.e. the current count).
ULONG RefCount(IUnknown* object);
// The first reference on a freshly created framework filter (count 0 -> 1).
ComPtr<IBaseFilter> TakeFilter(CBaseFilter* created);
// The first pin of `filter` with the given direction, AddRef'd.
ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);
// A new instance of Wine's filter graph manager.
ComPtr<IGraphBuilder> NewGraph();
// The test source's media type.
CMediaType TransportStreamType();
