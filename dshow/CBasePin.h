// CBasePin: IPin with DirectShow's connection rules.
//
// Connection (Connect, on the connecting side, usually an output pin): under
// the pin's lock (the filter lock), refuse when connected or when the filter
// is not stopped, run CheckConnect, then try media types in this order: the
// given type when it is complete; else our own types (GetMediaType) that
// match the given partial type; else the receiver's types (EnumMediaTypes).
// Each attempt: CheckMediaType, SetMediaType, the receiver's
// ReceiveConnection, CompleteConnect; any failure undoes the attempt
// (BreakConnect, receiver disconnected). ReceiveConnection is the receiving
// side of the same rules.
// Reference counts: a pin has none of its own; AddRef/Release go to the
// filter's owner, so a pin lives exactly as long as its filter.
#pragma once

#include "dshow/CMediaType.h"
#include "dshow/ComPtr.h"
#include "platform/Locks.h"

class CBaseFilter;

class CBasePin : public IPin {
public:
    // `filter` owns this pin; `lock` is normally &filter->FilterLock();
    // `pinName` is copied (also the pin's Id). `result` is left alone on success.
    CBasePin(const WideChar* objectName, CBaseFilter* filter, ReentrantLock* lock, HRESULT* result,
             const WideChar* pinName, PIN_DIRECTION direction);
    virtual ~CBasePin();
    CBasePin(const CBasePin&) = delete;
    CBasePin& operator=(const CBasePin&) = delete;

    // IUnknown: answers IUnknown and IPin with this pin; counts go to the filter.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    // *pin is AddRef'd (null and VFW_E_NOT_CONNECTED when unconnected).
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    // Deep copy the caller frees (FreeMediaType); zeroed when unconnected.
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    // info->pFilter is AddRef'd; the caller releases it.
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    // *id is CoTaskMemAlloc'd; the caller frees it.
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    // *types: a new enumerator over GetMediaType; the caller releases it.
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;  // S_OK
    HRESULT STDMETHODCALLTYPE BeginFlush() override;   // S_OK
    HRESULT STDMETHODCALLTYPE EndFlush() override;     // S_OK
    // Stores the segment (see SegmentStart/SegmentStop/SegmentRate).
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

    // Hooks.
    // S_OK when the type is acceptable; anything else refuses it.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // The preferred type at `position` (0-based); VFW_S_NO_MORE_ITEMS past the
    // end (the default offers none), E_INVALIDARG when negative.
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    // Records the type agreed on (already copied into the pin by then).
    virtual HRESULT SetMediaType(const CMediaType* type);
    // Checks the peer before any type is tried (default: opposite direction).
    virtual HRESULT CheckConnect(IPin* pin);
    // Undoes what CheckConnect/CompleteConnect set up.
    virtual HRESULT BreakConnect();
    // Last step of a connection, the peer already agreed.
    virtual HRESULT CompleteConnect(IPin* receivePin);
    // Streaming begins (Stopped -> Paused) and ends (-> Stopped); connected pins only.
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    // Paused -> Running.
    virtual HRESULT Run(REFERENCE_TIME start);

    // Accessors (all borrowed, valid while the filter lives).
    bool IsConnected() const { return connected_.Get() != nullptr; }
    IPin* GetConnected() const { return connected_.Get(); }
    const CMediaType& CurrentMediaType() const { return mediaType_; }
    CBaseFilter* Filter() const { return filter_; }
    const WCHAR* PinName() const { return name_; }
    PIN_DIRECTION Direction() const { return direction_; }
    bool IsStopped() const;
    REFERENCE_TIME SegmentStart() const { return segmentStart_; }
    REFERENCE_TIME SegmentStop() const { return segmentStop_; }
    double SegmentRate() const { return segmentRate_; }
    // Bumped when the types GetMediaType offers change.
    LONG MediaTypeVersion() const { return mediaTypeVersion_; }
    void IncrementMediaTypeVersion() { ++mediaTypeVersion_; }

protected:
    ReentrantLock* Lock() const { return lock_; }

private:
    HRESULT AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* type);
    HRESULT TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType& type);
    void ClearConnection();

    CBaseFilter* filter_;
    ReentrantLock* lock_;
    PIN_DIRECTION direction_;
    WCHAR name_[MAX_PIN_NAME] = {};
    ComPtr<IPin> connected_;
    CMediaType mediaType_;
    REFERENCE_TIME segmentStart_ = 0;
    REFERENCE_TIME segmentStop_ = 0x7FFFFFFFFFFFFFFFLL;
    double segmentRate_ = 1.0;
    LONG mediaTypeVersion_ = 1;
};
