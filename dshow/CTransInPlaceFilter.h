// CTransInPlaceFilter: a transform that hands on the very sample it received.
// Receive -> Transform(sample) -> the output pin delivers the same
// IMediaSample (no copy, no output buffer). Both pins carry one and the same
// media type: the output offers the input's type and accepts only that.
// The output pin still negotiates an allocator because input pins downstream
// expect one; it carries no samples, so DecideBufferSize asks for the least
// the downstream pin allows.
// Transform(sample) answers S_OK to pass the sample on, S_FALSE to drop it.
#pragma once

#include "dshow/CTransformFilter.h"

class CTransInPlaceFilter : public CTransformFilter {
public:
    // `result` is left alone on success; `modifiesData` says whether
    // Transform writes into the samples it sees.
    CTransInPlaceFilter(const WideChar* objectName, IUnknown* outer, REFCLSID clsid,
                        HRESULT* result, bool modifiesData = true);
    ~CTransInPlaceFilter() override;

    using CTransformFilter::Transform;

    CBasePin* GetPin(int n) override;  // in-place pins "Input" and "Output"
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;  // S_OK
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;  // E_UNEXPECTED: pins decide
    HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;

    // Main-table virtual after CTransformFilter's: works on the sample in place.
    virtual HRESULT Transform(IMediaSample* sample) = 0;

    bool ModifiesData() const { return modifiesData_; }

private:
    bool modifiesData_;
};
