#include "tests/windows/DshowTestPeers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

namespace {

// COM for the whole program, on the main thread (the graph lives there).
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }
};
::testing::Environment* const comEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

// {1B0E3A52-4F1A-4C1E-9D55-0A4C7D3E2101}
const GUID CLSID_TestPushSource = {
    0x1B0E3A52, 0x4F1A, 0x4C1E, {0x9D, 0x55, 0x0A, 0x4C, 0x7D, 0x3E, 0x21, 0x01}};
// {1B0E3A52-4F1A-4C1E-9D55-0A4C7D3E2102}
const GUID CLSID_TestSink = {
    0x1B0E3A52, 0x4F1A, 0x4C1E, {0x9D, 0x55, 0x0A, 0x4C, 0x7D, 0x3E, 0x21, 0x02}};

}  // namespace

int TestPushSource::liveCount = 0;
int TestSink::liveCount = 0;

CMediaType TransportStreamType() {
    CMediaType type(MEDIATYPE_Stream);
    type.subtype = MEDIASUBTYPE_MPEG2_TRANSPORT;
    type.formattype = FORMAT_None;
    type.bFixedSizeSamples = FALSE;
    type.lSampleSize = 0;
    return type;
}

TestPushPin::TestPushPin(TestPushSource* filter)
    : CBaseOutputPin(nullptr, filter, &filter->FilterLock(), nullptr, L"TS Out") {}

HRESULT TestPushPin::CheckMediaType(const CMediaType* type) {
    return IsEqualGUID(type->majortype, MEDIATYPE_Stream) ? S_OK : S_FALSE;
}

HRESULT TestPushPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *type = TransportStreamType();
    return S_OK;
}

HRESULT TestPushPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    requested = *request;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = bufferCount;
    wanted.cbBuffer = bufferSize;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= bufferSize ? S_OK : E_FAIL;
}

TestPushSource::TestPushSource() : CBaseFilter(nullptr, nullptr, CLSID_TestPushSource), pin(this) {
    ++liveCount;
}

TestPushSource::~TestPushSource() { --liveCount; }

HRESULT TestPushSource::OnPause(FILTER_STATE) {
    ++hooks.pauses;
    return hooks.pause;
}

HRESULT TestPushSource::OnRun(REFERENCE_TIME) {
    ++hooks.runs;
    return hooks.run;
}

HRESULT TestPushSource::OnStop() {
    ++hooks.stops;
    return hooks.stop;
}

HRESULT TestPushSource::Push(const uint8_t* bytes, long length, IMediaSample** sent) {
    if (sent) *sent = nullptr;
    ComPtr<IMediaSample> sample;
    HRESULT hr = pin.GetDeliveryBuffer(sample.Receive(), nullptr, nullptr, AM_GBF_NOWAIT);
    if (FAILED(hr)) return hr;
    BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    if (FAILED(hr)) return hr;
    if (length > sample->GetSize()) return E_INVALIDARG;
    if (length > 0) std::memcpy(buffer, bytes, static_cast<size_t>(length));
    hr = sample->SetActualDataLength(length);
    if (FAILED(hr)) return hr;
    if (sent) sample.CopyTo(sent);
    return pin.Deliver(sample.Get());
}

TestSinkPin::TestSinkPin(TestSink* filter)
    : CBaseInputPin(nullptr, filter, &filter->FilterLock(), nullptr, L"Sink In") {}

HRESULT TestSinkPin::CheckMediaType(const CMediaType* type) {
    if (IsEqualGUID(acceptMajor, GUID_NULL)) return S_OK;
    return IsEqualGUID(type->majortype, acceptMajor) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::Receive(IMediaSample* sample) {
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    Received entry{sample, {}};
    BYTE* buffer = nullptr;
    if (SUCCEEDED(sample->GetPointer(&buffer)))
        entry.bytes.assign(buffer, buffer + sample->GetActualDataLength());
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(std::move(entry));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::GetAllocator(IMemAllocator** allocator) {
    if (!offerAllocator) {
        if (allocator) *allocator = nullptr;
        return VFW_E_NO_ALLOCATOR;
    }
    return CBaseInputPin::GetAllocator(allocator);
}

HRESULT STDMETHODCALLTYPE TestSinkPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
    if (requirements.cBuffers <= 0) return E_NOTIMPL;
    *properties = requirements;
    return S_OK;
}

std::vector<TestSinkPin::Received> TestSinkPin::Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

TestSink::TestSink() : CBaseFilter(nullptr, nullptr, CLSID_TestSink), pin(this) { ++liveCount; }

TestSink::~TestSink() { --liveCount; }

HRESULT TestSink::OnPause(FILTER_STATE) {
    ++hooks.pauses;
    return hooks.pause;
}

HRESULT TestSink::OnStop() {
    ++hooks.stops;
    return hooks.stop;
}

ComPtr<IMediaSample> FakeSample::Create(long size, FakeSample** self) {
    auto* sample = new FakeSample();
    sample->buffer.assign(static_cast<size_t>(size), 0);
    if (self) *self = sample;
    return ComPtr<IMediaSample>::Adopt(sample);
}

HRESULT STDMETHODCALLTYPE FakeSample::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMediaSample)) {
        *object = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FakeSample::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE FakeSample::Release() {
    ULONG count = --references_;
    if (count == 0) delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE FakeSample::GetPointer(BYTE** pointer) {
    ++pointerCalls;
    if (failPointer) return E_FAIL;
    *pointer = buffer.data();
    return S_OK;
}

long STDMETHODCALLTYPE FakeSample::GetSize() { return static_cast<long>(buffer.size()); }
HRESULT STDMETHODCALLTYPE FakeSample::GetTime(REFERENCE_TIME*, REFERENCE_TIME*) {
    return VFW_E_SAMPLE_TIME_NOT_SET;
}
HRESULT STDMETHODCALLTYPE FakeSample::SetTime(REFERENCE_TIME*, REFERENCE_TIME*) { return S_OK; }
HRESULT STDMETHODCALLTYPE FakeSample::IsSyncPoint() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE FakeSample::SetSyncPoint(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE FakeSample::IsPreroll() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE FakeSample::SetPreroll(BOOL) { return S_OK; }
long STDMETHODCALLTYPE FakeSample::GetActualDataLength() { return actualLength; }
HRESULT STDMETHODCALLTYPE FakeSample::SetActualDataLength(long length) {
    actualLength = length;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE FakeSample::GetMediaType(AM_MEDIA_TYPE** type) {
    *type = nullptr;
    return S_FALSE;
}
HRESULT STDMETHODCALLTYPE FakeSample::SetMediaType(AM_MEDIA_TYPE*) { return S_OK; }
HRESULT STDMETHODCALLTYPE FakeSample::IsDiscontinuity() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE FakeSample::SetDiscontinuity(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE FakeSample::GetMediaTime(LONGLONG*, LONGLONG*) {
    return VFW_E_MEDIA_TIME_NOT_SET;
}
HRESULT STDMETHODCALLTYPE FakeSample::SetMediaTime(LONGLONG*, LONGLONG*) { return S_OK; }

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

ComPtr<IBaseFilter> TakeFilter(CBaseFilter* created) {
    ComPtr<IBaseFilter> filter;
    if (created) created->NonDelegatingQueryInterface(IID_IBaseFilter, filter.ReceiveVoid());
    return filter;
}

ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Receive()))) return {};
    for (;;) {
        ComPtr<IPin> pin;
        if (pins->Next(1, pin.Receive(), nullptr) != S_OK) return {};
        PIN_DIRECTION actual;
        if (SUCCEEDED(pin->QueryDirection(&actual)) && actual == direction) return pin;
    }
}

ComPtr<IGraphBuilder> NewGraph() {
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     graph.ReceiveVoid());
    return graph;
}
