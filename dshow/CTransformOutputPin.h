// CTransformOutputPin: the "Output" pin of a CTransformFilter; its types,
// buffer sizes and connection hooks come from the filter (GetMediaType,
// CheckTransform against the input's type, DecideBufferSize, ...).
#pragma once

#include "dshow/CBaseOutputPin.h"

class CTransformFilter;

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const WideChar* objectName, CTransformFilter* filter, HRESULT* result,
                        const WideChar* pinName);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;  // the input must be connected first
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

protected:
    CTransformFilter* TransformFilter() const { return transform_; }

private:
    CTransformFilter* transform_;
};
