// Device enumeration, filter loading and the pin-to-pin connection of
// MyFilterGraph. Every interface obtained here is held by a ComPtr, so it is
// released on every path out; only the caller's out-parameters keep theirs.
#include "graph/MyFilterGraph.h"

#include <oleauto.h>

#include "filter/CTsWriter.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

struct MyFilterGraph::EnumTexts {
    const char* createFailed;
    const char* enumeratorNull;
    const char* classEnumFailed;
    const char* monikerEnumNull;
};

namespace {

const WideChar UnknownName[] = WIDE("Unknown !");

// A VARIANT that is cleared when it goes.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* Get() { return &value_; }
    const WideChar* Text() const {
        return value_.vt == VT_BSTR && value_.bstrVal != nullptr ? value_.bstrVal : WIDE("");
    }

private:
    VARIANT value_;
};

// Reads one string property; false when the read fails.
bool ReadProperty(IPropertyBag* bag, const WideChar* name, ScopedVariant* value) {
    value->Get()->vt = VT_BSTR;
    return SUCCEEDED(bag->Read(name, value->Get(), nullptr));
}

// Frees a PIN_INFO's filter reference when it goes.
class ScopedPinInfo {
public:
    ScopedPinInfo() : info_{} {}
    ~ScopedPinInfo() {
        if (info_.pFilter != nullptr) info_.pFilter->Release();
    }
    ScopedPinInfo(const ScopedPinInfo&) = delete;
    ScopedPinInfo& operator=(const ScopedPinInfo&) = delete;
    PIN_INFO* Get() { return &info_; }

private:
    PIN_INFO info_;
};

}  // namespace

HRESULT MyFilterGraph::InitializeGraphBuilder() {
    HRESULT hr = S_OK;
    if (pIFilterGraph_IGraphBuilder.Get() == nullptr) {
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                              reinterpret_cast<void**>(pIFilterGraph_IGraphBuilder.Receive()));
        if (FAILED(hr)) {
            Trace("(MyFilterGraph::InitializeGraphBuilder) Could not create the instance of Filter Graph Manager !");
            return hr;
        }
        if (pIFilterGraph_IGraphBuilder.Get() == nullptr) {
            Trace("(MyFilterGraph::InitializeGraphBuilder) pIFilterGraph_IGraphBuilder == NULL");
            return E_FAIL;
        }
    }
    if (pIUnKnown_ICreateDevEnum.Get() == nullptr) {
        hr = EnsureDeviceEnumerator(
            "(MyFilterGraph::InitializeGraphBuilder) Cannot create the instance of ICreateDevEnum !",
            "(MyFilterGraph::InitializeGraphBuilder) pIUnKnown_ICreateDevEnum == NULL");
    }
    return hr;
}

HRESULT MyFilterGraph::EnsureDeviceEnumerator(const char* failedText, const char* nullText) {
    if (pIUnKnown_ICreateDevEnum.Get() != nullptr) return S_OK;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_ICreateDevEnum,
                                  reinterpret_cast<void**>(pIUnKnown_ICreateDevEnum.Receive()));
    if (FAILED(hr)) {
        Trace(failedText);
        return hr;
    }
    if (pIUnKnown_ICreateDevEnum.Get() == nullptr) {
        Trace(nullText);
        return E_FAIL;
    }
    return hr;
}

// Only S_OK with an enumerator counts: an empty category answers S_FALSE.
HRESULT MyFilterGraph::OpenClassEnumerator(const GUID& category, ComPtr<IEnumMoniker>& monikers,
                                           const EnumTexts& texts) {
    HRESULT hr = EnsureDeviceEnumerator(texts.createFailed, texts.enumeratorNull);
    if (FAILED(hr)) return hr;
    if (pIUnKnown_ICreateDevEnum->CreateClassEnumerator(category, monikers.Receive(), 0) != S_OK) {
        Trace(texts.classEnumFailed);
        monikers.Reset();
        return E_FAIL;
    }
    if (monikers.Get() == nullptr) {
        Trace(texts.monikerEnumNull);
        return E_FAIL;
    }
    return S_OK;
}

void MyFilterGraph::CountingAvailableComponent(const GUID& category, uint16_t* count) {
    static const EnumTexts texts = {
        "(MyFilterGraph::CountingAvailableComponent) Cannot create the instance of ICreateDevEnum !",
        "(MyFilterGraph::CountingAvailableComponent) pIUnKnown_ICreateDevEnum == NULL",
        "(MyFilterGraph::CountingAvailableComponent) Can not CreateClassEnumerator",
        "(MyFilterGraph::CountingAvailableComponent) pIEnumMoniker == NULL"};
    *count = 0;
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(OpenClassEnumerator(category, monikers, texts))) return;
    uint16_t found = 0;
    for (;;) {
        ComPtr<IMoniker> moniker;
        if (monikers->Next(1, moniker.Receive(), nullptr) != S_OK) break;
        ++found;
    }
    *count = found;
}

void MyFilterGraph::GetComponentFriendlyNameAndDisplayName(const GUID& category, uint16_t index,
                                                           WideChar* friendlyName,
                                                           WideChar* devicePath) {
    static const EnumTexts texts = {
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) Cannot create the instance of ICreateDevEnum !",
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) pIUnKnown_ICreateDevEnum == NULL",
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) Can not CreateClassEnumerator",
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) pIEnumMoniker == NULL"};
    static const char ReadFailed[] =
        "(MyFilterGraph::GetComponentFriendlyNameAndDisplayName) IPropertyBag->Read method failed";
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(OpenClassEnumerator(category, monikers, texts))) {
        WideCopyTruncate(friendlyName, GraphNameCapacity, UnknownName);
        WideCopyTruncate(devicePath, GraphNameCapacity, UnknownName);
        return;
    }
    ComPtr<IMoniker> moniker;
    uint16_t number = 0;
    for (;;) {
        if (monikers->Next(1, moniker.Receive(), nullptr) != S_OK) {
            moniker.Reset();
            break;
        }
        if (++number == index) break;
    }
    ComPtr<IPropertyBag> bag;
    if (moniker.Get() == nullptr ||
        FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(bag.Receive()))) ||
        bag.Get() == nullptr) {
        WideCopyTruncate(friendlyName, GraphNameCapacity, UnknownName);
        return;
    }
    ScopedVariant name;
    if (ReadProperty(bag.Get(), WIDE("FriendlyName"), &name)) {
        WideCopyTruncate(friendlyName, GraphNameCapacity, name.Text());
    } else {
        Trace(ReadFailed);
        WideCopyTruncate(friendlyName, GraphNameCapacity, UnknownName);
    }
    ScopedVariant path;
    if (ReadProperty(bag.Get(), WIDE("DevicePath"), &path)) {
        WideCopyTruncate(devicePath, GraphNameCapacity, path.Text());
    } else {
        Trace(ReadFailed);
        WideCopyTruncate(devicePath, GraphNameCapacity, UnknownName);
    }
}

HRESULT MyFilterGraph::LoadFilterByFriendlyName(const GUID& category, ComPtr<IBaseFilter>& filter,
                                                const WideChar* friendlyName,
                                                const WideChar* devicePath, int32_t* added) {
    static const EnumTexts texts = {
        "(MyFilterGraph::LoadFilterByFriendlyName) Cannot create the instance of ICreateDevEnum !",
        "(MyFilterGraph::LoadFilterByFriendlyName) pIUnKnown_ICreateDevEnum == NULL",
        "(MyFilterGraph::LoadFilterByFriendlyName) Can not CreateClassEnumerator",
        "(MyFilterGraph::LoadFilterByFriendlyName) pIEnumMoniker == NULL"};
    *added = 0;
    HRESULT hr = EnsureDeviceEnumerator(texts.createFailed, texts.enumeratorNull);
    if (FAILED(hr)) return hr;
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(OpenClassEnumerator(category, monikers, texts))) return E_FAIL;

    ComPtr<IMoniker> match;
    ScopedVariant matchedName;
    for (;;) {
        ComPtr<IMoniker> moniker;
        if (monikers->Next(1, moniker.Receive(), nullptr) != S_OK) break;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                          reinterpret_cast<void**>(bag.Receive()))) ||
            bag.Get() == nullptr)
            continue;
        ScopedVariant name;
        if (!ReadProperty(bag.Get(), WIDE("FriendlyName"), &name) ||
            !WideEqualN(name.Text(), friendlyName, GraphNameCapacity))
            continue;
        ScopedVariant path;
        if (!ReadProperty(bag.Get(), WIDE("DevicePath"), &path) ||
            !WideEqualN(path.Text(), devicePath, GraphNameCapacity))
            continue;
        VariantCopy(matchedName.Get(), name.Get());
        match = std::move(moniker);
        break;
    }
    if (match.Get() == nullptr) return E_FAIL;

    ComPtr<IBaseFilter> bound;
    hr = match->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                             reinterpret_cast<void**>(bound.Receive()));
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadFilterByFriendlyName) Cannot add filter");
        return hr;
    }
    if (bound.Get() == nullptr ||
        FAILED(bound->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.Receive()))) ||
        filter.Get() == nullptr)
        return E_FAIL;
    hr = pIFilterGraph_IGraphBuilder.Get() == nullptr
             ? E_UNEXPECTED
             : pIFilterGraph_IGraphBuilder->AddFilter(filter.Get(), matchedName.Text());
    *added = SUCCEEDED(hr) ? 1 : 0;
    return hr;
}

HRESULT MyFilterGraph::LoadFilterByCLSID(GUID clsid, ComPtr<IBaseFilter>& filter,
                                         const WideChar* name) {
    if (clsid == GUID_NULL) return E_FAIL;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(filter.Receive()));
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadFilterByCLSID) Could not Create Instance !");
        return hr;
    }
    hr = pIFilterGraph_IGraphBuilder.Get() == nullptr
             ? E_UNEXPECTED
             : pIFilterGraph_IGraphBuilder->AddFilter(filter.Get(), name);
    if (FAILED(hr)) Trace("(MyFilterGraph::LoadFilterByCLSID) Unable to add filter to graph");
    return hr;
}

HRESULT MyFilterGraph::LoadNetworkProvider() {
    // Built aside and then published, so the remote-key thread never sees
    // the pointer half-written.
    ComPtr<IBaseFilter> provider;
    HRESULT hr = LoadFilterByCLSID(ClsidTesselNetworkProvider, provider,
                                   WIDE("Tessel's Network Provider"));
    PublishNetworkProvider(std::move(provider));
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadNetworkProvider) Couldn't Load Tessel Orin Network Provider Filter !");
        return hr;
    }
    NetworkProviderInGraph = 1;
    return hr;
}

HRESULT MyFilterGraph::LoadNullTerminalFilter() {
    HRESULT hr = LoadFilterByCLSID(ClsidTesselNullTerminal, pINullTerminal_IBaseFilter,
                                   WIDE("Null Terminal"));
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadTransportStreamDecryptDemuxFilter) Couldn't Load Null Terminal Filter !");
        return hr;
    }
    NullTerminalInGraph = 1;
    return hr;
}

HRESULT MyFilterGraph::LoadTSBufferWriterFilter() {
    HRESULT created = S_OK;
    pTsBufferWriter = CreateTsWriter(nullptr, &created);
    if (pTsBufferWriter == nullptr) {
        Trace("(MyFilterGraph::LoadTSBufferWriterFilter) Couldn't Create Instance Of the Transport Stream Buffer Writer Filter !");
        return E_FAIL;
    }
    IBaseFilter* writer = static_cast<IBaseFilter*>(pTsBufferWriter);
    writer->AddRef();  // the graph object's own reference
    HRESULT hr = writer->QueryInterface(
        IID_IBaseFilter, reinterpret_cast<void**>(pITsBufferWriter_IBaseFilter.Receive()));
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadTSBufferWriterFilter) Failed To Query The Interface Of The Transport Stream Buffer Writer Filter !");
        ReleaseTsWriter();
        return hr;
    }
    hr = pIFilterGraph_IGraphBuilder.Get() == nullptr
             ? E_UNEXPECTED
             : pIFilterGraph_IGraphBuilder->AddFilter(pITsBufferWriter_IBaseFilter.Get(),
                                                      WIDE("Tessel's TS Buffer Writer"));
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::LoadTSBufferWriterFilter) Failed To Add The Transport Stream Buffer Writer Filter Into Filter Graph !");
        ReleaseTsWriter();
        return hr;
    }
    TsBufferWriterInGraph = 1;
    return hr;
}

HRESULT MyFilterGraph::AutoConnectFilterEachOther(int32_t useDirect, IBaseFilter* upstream,
                                                  IBaseFilter* downstream, LPWSTR* upstreamPinId,
                                                  LPWSTR* downstreamPinId) {
    if (pIFilterGraph_IGraphBuilder.Get() == nullptr || upstream == nullptr ||
        downstream == nullptr)
        return E_UNEXPECTED;
    ComPtr<IEnumPins> upPins;
    HRESULT hr = upstream->EnumPins(upPins.Receive());
    if (FAILED(hr)) {
        Trace("(MyFilterGraph::AutoConnectFilterEachOther) Cannot Enumerate Upstream Filter's Pins !");
        return hr;
    }
    for (;;) {
        ComPtr<IPin> up;
        if (upPins.Get() == nullptr || upPins->Next(1, up.Receive(), nullptr) != S_OK) break;
        ScopedPinInfo upInfo;
        hr = up->QueryPinInfo(upInfo.Get());
        if (FAILED(hr)) {
            Trace("(MyFilterGraph::AutoConnectFilterEachOther) Cannot Obtain Upstream Filter's PIN_INFO");
            return hr;
        }
        ComPtr<IPin> upPeer;
        up->ConnectedTo(upPeer.Receive());
        if (upInfo.Get()->dir != PINDIR_OUTPUT || upPeer.Get() != nullptr) continue;

        ComPtr<IEnumPins> downPins;
        hr = downstream->EnumPins(downPins.Receive());
        if (FAILED(hr)) {
            Trace("(MyFilterGraph::AutoConnectFilterEachOther) Cannot enumerate pins on downstream filter");
            return hr;
        }
        for (;;) {
            ComPtr<IPin> down;
            if (downPins.Get() == nullptr || downPins->Next(1, down.Receive(), nullptr) != S_OK)
                break;
            ScopedPinInfo downInfo;
            if (FAILED(down->QueryPinInfo(downInfo.Get()))) continue;
            ComPtr<IPin> downPeer;
            HRESULT peer = down->ConnectedTo(downPeer.Receive());
            if (FAILED(peer) && peer != VFW_E_NOT_CONNECTED) {
                Trace("(MyFilterGraph::AutoConnectFilterEachOther) Failed in pIPinDownstream->ConnectedTo()");
                continue;
            }
            if (downInfo.Get()->dir != PINDIR_INPUT || downPeer.Get() != nullptr) continue;
            HRESULT connected =
                useDirect != 0
                    ? pIFilterGraph_IGraphBuilder->ConnectDirect(up.Get(), down.Get(), nullptr)
                    : pIFilterGraph_IGraphBuilder->Connect(up.Get(), down.Get());
            if (SUCCEEDED(connected)) {
                up->QueryId(upstreamPinId);
                down->QueryId(downstreamPinId);
                return S_OK;
            }
        }
    }
    Trace("(MyFilterGraph::AutoConnectFilterEachOther) Failed to connect filters");
    return E_FAIL;
}
