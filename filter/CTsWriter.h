// CTsWriter: the in-place filter that hands every TS sample to the driver.
// Each sample passes through unchanged; when it holds at least one TS packet
// worth of bytes the callback sees its buffer (no copy) on the streaming
// thread before the sample travels on.
#pragma once

#include "dshow/CTransInPlaceFilter.h"
#include "platform/SampleCallback.h"

#include <atomic>
#include <cstdint>

// {65DC13B3-6F96-4A33-8A87-826B0693DD25}
extern const GUID CLSID_TsWriter;


class CTsWriter : public CTransInPlaceFilter {
public:
    static constexpr int32_t TsPacketSize = 188;

    CTsWriter(IUnknown* outer, HRESULT* result);
    ~CTsWriter() override;

    using CTransInPlaceFilter::Transform;

    // Any media type.
    HRESULT CheckInputType(const CMediaType* type) override;
    // Calls the callback with the sample's buffer when it holds >= 188 bytes; S_OK.
    HRESULT Transform(IMediaSample* sample) override;

    // Stores the callback and its context (null function: none). The context
    // is published before the function, so the streaming thread never pairs
    // a new function with an old context.
    void SetCallback(SampleCallback function, void* context);

private:
    std::atomic<SampleCallback> Callback{nullptr};
    std::atomic<void*> CallbackContext{nullptr};
};

// A new writer with reference count 0 (the caller takes the references, e.g.
// through QueryInterface), or null when it cannot be allocated. `result` (may
// be null) receives a construction failure.
CTsWriter* CreateTsWriter(IUnknown* outer, HRESULT* result);
