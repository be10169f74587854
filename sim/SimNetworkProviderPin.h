// The network provider's one output pin ("Antenna Out"). It carries no data:
// the connection to the tuner's input pin is what tells the network provider
// which simulated device its TunerDeviceControl drives.
#pragma once

#include "dshow/CBaseOutputPin.h"

class SimNetworkProviderPin : public CBaseOutputPin {
public:
    SimNetworkProviderPin(CBaseFilter* filter, HRESULT* result);
    ~SimNetworkProviderPin() override;

    // Only the antenna major type.
    HRESULT CheckMediaType(const CMediaType* type) override;
    // Position 0: the antenna type.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // One byte-sized buffer: nothing ever flows here.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
};
