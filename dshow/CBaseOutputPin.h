// CBaseOutputPin: a CBasePin that delivers samples to a connected IMemInputPin.
//
// Allocator negotiation (CompleteConnect -> DecideAllocator): ask the input pin
// for its requirements (alignment forced to at least 1), then try the input
// pin's allocator, else a new CLSID_MemoryAllocator; for each, DecideBufferSize
// (the subclass calls SetProperties) and NotifyAllocator(allocator, FALSE).
// The allocator is committed in Active and decommitted in Inactive, which
// also wakes a streaming thread blocked in GetDeliveryBuffer.
#pragma once

#include "dshow/CBasePin.h"

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const WideChar* objectName, CBaseFilter* filter, ReentrantLock* lock,
                   HRESULT* result, const WideChar* pinName);
    ~CBaseOutputPin() override;

    // IPin: an output pin receives no stream control (E_UNEXPECTED).
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    // CBasePin
    HRESULT CheckConnect(IPin* pin) override;  // also requires IMemInputPin
    HRESULT BreakConnect() override;           // decommits and drops the allocator
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Active() override;    // commits the allocator
    HRESULT Inactive() override;  // decommits it

    // Sets the buffer count/size/alignment on `allocator` (SetProperties) from
    // the input pin's `request`; called during DecideAllocator.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // Picks the allocator as described above; *allocator is AddRef'd.
    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);

    // A sample from the allocator; *sample is AddRef'd, the caller releases it.
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags);
    // Hands `sample` to the connected input pin (VFW_E_NOT_CONNECTED when none).
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // Borrowed, null when unconnected.
    IMemAllocator* Allocator() const { return allocator_.Get(); }
    IMemInputPin* InputPin() const { return inputPin_.Get(); }

private:
    HRESULT TryAllocator(IMemInputPin* pin, IMemAllocator* allocator,
                         const ALLOCATOR_PROPERTIES& requirements);

    ComPtr<IMemAllocator> allocator_;
    ComPtr<IMemInputPin> inputPin_;
};
