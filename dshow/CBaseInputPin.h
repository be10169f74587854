// CBaseInputPin: a CBasePin that receives samples (IMemInputPin).
// The allocator is whatever the upstream output pin chose in NotifyAllocator
// (GetAllocator offers a CLSID_MemoryAllocator of our own first). Streaming
// checks: Receive answers VFW_E_NOT_CONNECTED when unconnected,
// VFW_E_WRONG_STATE when the pin is not active (e.g. after Stop), S_FALSE
// while flushing. Receive is called on the upstream streaming thread and
// takes no lock here; subclasses serialise against Stop with a streaming lock.
#pragma once

#include "dshow/CBasePin.h"

#include <atomic>

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const WideChar* objectName, CBaseFilter* filter, ReentrantLock* lock,
                  HRESULT* result, const WideChar* pinName);
    ~CBaseInputPin() override;

    // IUnknown (both bases): adds IMemInputPin; counts go to the filter.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin
    HRESULT STDMETHODCALLTYPE BeginFlush() override;  // refuses samples until EndFlush
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;  // streaming checks only

    // IMemInputPin
    // *allocator is AddRef'd; the caller releases it.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    // Base: the streaming checks; S_OK means the subclass may process the sample.
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count,
                                              long* processed) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

    // CBasePin
    HRESULT BreakConnect() override;  // drops the allocator
    HRESULT Active() override;
    HRESULT Inactive() override;  // refuses samples, decommits the allocator

    // The streaming checks Receive and EndOfStream make (S_OK: go ahead).
    HRESULT CheckStreaming();
    bool IsFlushing() const { return flushing_.load(); }
    bool IsReadOnly() const { return readOnly_; }
    // The allocator in use, borrowed, or null.
    IMemAllocator* Allocator() const { return allocator_.Get(); }

private:
    ComPtr<IMemAllocator> allocator_;
    bool readOnly_ = false;
    std::atomic<bool> active_{false};
    std::atomic<bool> flushing_{false};
};
