#include "dshow/CMediaType.h"

#include <cstring>

CMediaType::CMediaType() { std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE)); }

CMediaType::CMediaType(const GUID& major) : CMediaType() { majortype = major; }

CMediaType::CMediaType(const CMediaType& other) : CMediaType() { Set(other); }

CMediaType& CMediaType::operator=(const CMediaType& other) {
    if (this != &other) Set(other);
    return *this;
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& source) {
    if (&source == this) return S_OK;
    FreeMediaType(*this);
    return CopyMediaType(this, &source);
}

void CMediaType::Clear() { FreeMediaType(*this); }

HRESULT CMediaType::SetFormat(const BYTE* format, ULONG size) {
    if (pbFormat) CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
    if (!format || size == 0) return S_OK;
    pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!pbFormat) return E_OUTOFMEMORY;
    std::memcpy(pbFormat, format, size);
    cbFormat = size;
    return S_OK;
}

bool CMediaType::IsValid() const { return !IsEqualGUID(majortype, GUID_NULL); }

bool CMediaType::Equals(const AM_MEDIA_TYPE& other) const {
    if (!IsEqualGUID(majortype, other.majortype) || !IsEqualGUID(subtype, other.subtype) ||
        !IsEqualGUID(formattype, other.formattype) || cbFormat != other.cbFormat)
        return false;
    return cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0;
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE& partial) const {
    if (!IsEqualGUID(partial.majortype, GUID_NULL) && !IsEqualGUID(partial.majortype, majortype))
        return false;
    if (!IsEqualGUID(partial.subtype, GUID_NULL) && !IsEqualGUID(partial.subtype, subtype))
        return false;
    if (IsEqualGUID(partial.formattype, GUID_NULL)) return true;
    if (!IsEqualGUID(partial.formattype, formattype) || partial.cbFormat != cbFormat) return false;
    return cbFormat == 0 || std::memcmp(partial.pbFormat, pbFormat, cbFormat) == 0;
}

bool CMediaType::IsPartial(const AM_MEDIA_TYPE& type) {
    return IsEqualGUID(type.majortype, GUID_NULL) || IsEqualGUID(type.subtype, GUID_NULL) ||
           IsEqualGUID(type.formattype, GUID_NULL);
}

void CMediaType::FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.pbFormat) CoTaskMemFree(type.pbFormat);
    if (type.pUnk) type.pUnk->Release();
    std::memset(&type, 0, sizeof type);
}

void CMediaType::DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CMediaType::CopyMediaType(AM_MEDIA_TYPE* destination, const AM_MEDIA_TYPE* source) {
    if (!destination || !source) return E_POINTER;
    *destination = *source;
    destination->pbFormat = nullptr;
    destination->cbFormat = 0;
    if (source->cbFormat && source->pbFormat) {
        destination->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!destination->pbFormat) {
            std::memset(destination, 0, sizeof *destination);
            return E_OUTOFMEMORY;
        }
        std::memcpy(destination->pbFormat, source->pbFormat, source->cbFormat);
        destination->cbFormat = source->cbFormat;
    }
    if (destination->pUnk) destination->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CMediaType::CreateMediaType(const AM_MEDIA_TYPE* source) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type) return nullptr;
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}
