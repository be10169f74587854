// A receiver component that takes part in the chain: an in-place transform
// whose input accepts the tuner's TS output and whose output connects to the
// writer; every sample travels on unchanged.
#pragma once


#include "dshow/CTransInPlaceFilter.h"
#include "sim/SimModule.h"

class SimPassThroughReceiver : public CTransInPlaceFilter {
public:
    // Class-factory entry: a new filter queried for `iid`; the caller owns
    // the reference written to *object.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    using CTransInPlaceFilter::Transform;
    // MEDIATYPE_Stream only (what the tuner's output offers).
    HRESULT CheckInputType(const CMediaType* type) override;
    // Passes the sample on untouched.
    HRESULT Transform(IMediaSample* sample) override;

private:
    explicit SimPassThroughReceiver(HRESULT* result);
    ~SimPassThroughReceiver() override;

    SimModuleObject moduleObject_;
};
