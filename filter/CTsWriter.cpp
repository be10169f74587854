#include "filter/CTsWriter.h"

#include <new>

// {65DC13B3-6F96-4A33-8A87-826B0693DD25}
const GUID CLSID_TsWriter = {
    0x65DC13B3, 0x6F96, 0x4A33, {0x8A, 0x87, 0x82, 0x6B, 0x06, 0x93, 0xDD, 0x25}};

CTsWriter::CTsWriter(IUnknown* outer, HRESULT* result)
    : CTransInPlaceFilter(nullptr, outer, CLSID_TsWriter, result, true) {}

CTsWriter::~CTsWriter() = default;

HRESULT CTsWriter::CheckInputType(const CMediaType* type) {
    (void)type;
    return S_OK;
}

HRESULT CTsWriter::Transform(IMediaSample* sample) {
    BYTE* bytes = nullptr;
    if (FAILED(sample->GetPointer(&bytes))) return S_OK;
    const long length = sample->GetActualDataLength();
    if (length < TsPacketSize) return S_OK;
    // Function first, then its context: SetCallback published the context
    // before the function, so this context is at least as new as the function.
    SampleCallback function = Callback.load(std::memory_order_acquire);
    if (!function) return S_OK;
    void* context = CallbackContext.load(std::memory_order_acquire);
    function(context, bytes, static_cast<int32_t>(length));
    return S_OK;
}

void CTsWriter::SetCallback(SampleCallback function, void* context) {
    CallbackContext.store(context, std::memory_order_release);
    Callback.store(function, std::memory_order_release);
}

CTsWriter* CreateTsWriter(IUnknown* outer, HRESULT* result) {
    return new (std::nothrow) CTsWriter(outer, result);
}
