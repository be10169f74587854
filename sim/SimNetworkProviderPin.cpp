#include "sim/SimNetworkProviderPin.h"

#include "dshow/CBaseFilter.h"
#include "sim/SimClassIds.h"
#include "sim/SimControl.h"

SimNetworkProviderPin::SimNetworkProviderPin(CBaseFilter* filter, HRESULT* result)
    : CBaseOutputPin(nullptr, filter, &filter->FilterLock(), result, L"Antenna Out") {
    SimProcessControl()->Counters()->Created(SimObject::Pin);
}

SimNetworkProviderPin::~SimNetworkProviderPin() {
    SimProcessControl()->Counters()->Destroyed(SimObject::Pin);
}

HRESULT SimNetworkProviderPin::CheckMediaType(const CMediaType* type) {
    if (type == nullptr) return E_POINTER;
    return type->majortype == SimMediaTypeAntenna ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SimNetworkProviderPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    type->Clear();
    type->majortype = SimMediaTypeAntenna;
    type->subtype = GUID_NULL;
    type->formattype = FORMAT_None;
    return S_OK;
}

HRESULT SimNetworkProviderPin::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = 1;
    wanted.cbBuffer = 1;
    if (wanted.cbAlign < 1) wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&wanted, &actual);
}
