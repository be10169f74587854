#include "dshow/CBasePin.h"

#include "dshow/CBaseFilter.h"
#include "dshow/CEnumMediaTypes.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

#include <cstring>
#include <cwchar>

CBasePin::CBasePin(const WideChar* objectName, CBaseFilter* filter, ReentrantLock* lock,
                   HRESULT* result, const WideChar* pinName, PIN_DIRECTION direction)
    : filter_(filter), lock_(lock ? lock : &filter->FilterLock()), direction_(direction) {
    (void)objectName;
    (void)result;
    WideCopyTruncate(name_, MAX_PIN_NAME, pinName ? pinName : L"");
}

CBasePin::~CBasePin() = default;

HRESULT STDMETHODCALLTYPE CBasePin::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPin))
        return CUnknown::GetInterface(static_cast<IPin*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CBasePin::AddRef() { return filter_->GetOwner()->AddRef(); }

ULONG STDMETHODCALLTYPE CBasePin::Release() { return filter_->GetOwner()->Release(); }

bool CBasePin::IsStopped() const { return filter_->IsStopped(); }

HRESULT STDMETHODCALLTYPE CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (!receivePin) return E_POINTER;
    ScopedLock lock(*lock_);
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = AgreeMediaType(receivePin, type);
    if (FAILED(hr)) {
        BreakConnect();
        Trace("(CBasePin::Connect) no agreement", hr);
    }
    return hr;
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (type && !CMediaType::IsPartial(*type)) {
        CMediaType complete;
        HRESULT hr = complete.Set(*type);
        if (FAILED(hr)) return hr;
        return AttemptConnection(receivePin, complete);
    }
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int side = 0; side < 2; ++side) {
        ComPtr<IEnumMediaTypes> types;
        HRESULT hr = side == 0 ? EnumMediaTypes(types.Receive())
                               : receivePin->EnumMediaTypes(types.Receive());
        if (FAILED(hr) || !types) continue;
        hr = TryMediaTypes(receivePin, type, types.Get());
        if (SUCCEEDED(hr)) return hr;
        if (hr != VFW_E_NO_ACCEPTABLE_TYPES) last = hr;
    }
    return last;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial,
                                IEnumMediaTypes* types) {
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (;;) {
        AM_MEDIA_TYPE* next = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &next, &fetched) != S_OK || fetched != 1 || !next) break;
        CMediaType candidate;
        HRESULT hr = candidate.Set(*next);
        CMediaType::DeleteMediaType(next);
        if (FAILED(hr)) return hr;
        if (partial && !candidate.MatchesPartial(*partial)) continue;
        hr = AttemptConnection(receivePin, candidate);
        if (SUCCEEDED(hr)) return hr;
        last = hr;
    }
    return last;
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType& type) {
    HRESULT hr = CheckMediaType(&type);
    if (hr != S_OK) return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    connected_ = ComPtr<IPin>::AddRefOf(receivePin);
    hr = mediaType_.Set(type);
    if (SUCCEEDED(hr)) hr = SetMediaType(&mediaType_);
    if (SUCCEEDED(hr)) {
        hr = receivePin->ReceiveConnection(this, &type);
        if (SUCCEEDED(hr)) {
            hr = CompleteConnect(receivePin);
            if (SUCCEEDED(hr)) return S_OK;
            receivePin->Disconnect();
        }
    }
    // Only this attempt is undone: what CheckConnect set up in Connect (the
    // peer's IMemInputPin, say) must survive for the next media type, or a
    // refused first type would turn every later attempt into E_UNEXPECTED.
    // Connect calls BreakConnect once when no type is left.
    ClearConnection();
    return hr;
}

void CBasePin::ClearConnection() {
    connected_.Reset();
    mediaType_.Clear();
}

HRESULT STDMETHODCALLTYPE CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (!connector || !type) return E_POINTER;
    ScopedLock lock(*lock_);
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    CMediaType offered;
    hr = offered.Set(*type);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(&offered);
    if (hr != S_OK) {
        BreakConnect();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    connected_ = ComPtr<IPin>::AddRefOf(connector);
    mediaType_ = offered;
    hr = SetMediaType(&mediaType_);
    if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        ClearConnection();
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CBasePin::Disconnect() {
    ScopedLock lock(*lock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (!IsConnected()) return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    ClearConnection();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    ScopedLock lock(*lock_);
    connected_.CopyTo(pin);
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    ScopedLock lock(*lock_);
    if (!IsConnected()) {
        std::memset(type, 0, sizeof *type);
        return VFW_E_NOT_CONNECTED;
    }
    return CMediaType::CopyMediaType(type, &mediaType_);
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = static_cast<IBaseFilter*>(filter_);
    info->pFilter->AddRef();
    WideCopyTruncate(info->achName, MAX_PIN_NAME, name_);
    info->dir = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    const size_t bytes = (std::wcslen(name_) + 1) * sizeof(WCHAR);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, name_, bytes);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    CMediaType candidate;
    if (FAILED(candidate.Set(*type))) return S_FALSE;
    return CheckMediaType(&candidate) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (!types) return E_POINTER;
    return CEnumMediaTypes::Create(this, 0, types);
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryInternalConnections(IPin** pins, ULONG* count) {
    (void)pins;
    (void)count;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBasePin::EndOfStream() { return S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::BeginFlush() { return S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::EndFlush() { return S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                               double rate) {
    segmentStart_ = start;
    segmentStop_ = stop;
    segmentRate_ = rate;
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int position, CMediaType* type) {
    (void)type;
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type) {
    (void)type;
    return S_OK;
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
    PIN_DIRECTION other;
    HRESULT hr = pin->QueryDirection(&other);
    if (FAILED(hr)) return hr;
    return other == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }

HRESULT CBasePin::CompleteConnect(IPin* receivePin) {
    (void)receivePin;
    return S_OK;
}

HRESULT CBasePin::Active() { return S_OK; }

HRESULT CBasePin::Inactive() { return S_OK; }

HRESULT CBasePin::Run(REFERENCE_TIME start) {
    (void)start;
    return S_OK;
}
