// CTransformInputPin: the "Input" pin of a CTransformFilter; every hook goes
// to the filter (CheckInputType, SetMediaType, CheckConnect, BreakConnect,
// CompleteConnect, Receive, flushing, end of stream, StartStreaming and
// StopStreaming from Active/Inactive).
#pragma once

#include "dshow/CBaseInputPin.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const WideChar* objectName, CTransformFilter* filter, HRESULT* result,
                       const WideChar* pinName);

    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Active() override;    // then StartStreaming
    HRESULT Inactive() override;  // then StopStreaming (if it started)

protected:
    CTransformFilter* TransformFilter() const { return transform_; }

private:
    CTransformFilter* transform_;
    bool streaming_ = false;  // StartStreaming succeeded (filter lock)
};
