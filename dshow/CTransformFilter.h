// CTransformFilter: one input pin ("Input") and one output pin ("Output"),
// whose hooks come back to the virtual methods below.
//
// The main method table continues CBaseFilter's with exactly these entries in
// this order (a test checks it); do not add, remove or reorder virtuals here.
// State: the input pin's Active (Stopped -> Paused, input connected) calls
// StartStreaming and its Inactive calls StopStreaming, both under the
// streaming lock, so the filter needs no IBaseFilter override.
// Lock order: filter lock, then streaming lock. Receive, EndOfStream and
// NewSegment take only the streaming lock.
#pragma once

#include "dshow/CBaseFilter.h"
#include "dshow/CMediaType.h"

#include <atomic>

class CTransformInputPin;
class CTransformOutputPin;

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const WideChar* objectName, IUnknown* outer, REFCLSID clsid);
    ~CTransformFilter() override;

    int GetPinCount() override;          // 2
    // 0 "Input", 1 "Output"; created on first use. The filter has these two
    // pins from the start, so making them changes neither GetPinCount nor
    // the pin version.
    CBasePin* GetPin(int n) override;

    // Main-table virtuals, in this exact order.
    // Fills `out` from `in` (copying filters); E_UNEXPECTED unless overridden.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
    virtual HRESULT CheckInputType(const CMediaType* type) = 0;
    virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;
    virtual HRESULT StartStreaming();                      // S_OK
    virtual HRESULT StopStreaming();                       // S_OK
    virtual HRESULT AlterQuality(Quality quality);         // S_FALSE: not handled
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);  // S_OK
    virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);               // S_OK
    virtual HRESULT BreakConnect(PIN_DIRECTION direction);                          // S_OK
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);     // S_OK
    // A sample from the input pin (streaming lock held, checks passed).
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT EndOfStream();  // passes it downstream
    virtual HRESULT BeginFlush();   // passes it downstream
    virtual HRESULT EndFlush();     // passes it downstream
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // Borrowed; null until GetPin created them.
    CTransformInputPin* InputPin() const { return input_.load(std::memory_order_acquire); }
    CTransformOutputPin* OutputPin() const { return output_.load(std::memory_order_acquire); }
    ReentrantLock& StreamingLock() { return streamingLock_; }

protected:
    // Installs both pins under the filter lock unless another caller already
    // did (then these are deleted); subclasses with pins of their own call it
    // from GetPin. Leaves the pin version alone: the pins are the ones
    // GetPinCount always counted, made late, not a change of the set.
    HRESULT InstallPins(CTransformInputPin* input, CTransformOutputPin* output);

private:
    ReentrantLock streamingLock_;
    // Owned; written once under the filter lock, read without it (the
    // streaming thread never takes the filter lock).
    std::atomic<CTransformInputPin*> input_{nullptr};
    std::atomic<CTransformOutputPin*> output_{nullptr};
};
