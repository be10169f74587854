// CMediaType: an AM_MEDIA_TYPE that owns its format block (CoTaskMemAlloc)
// and its pUnk reference, with deep copies. The static helpers handle bare
// AM_MEDIA_TYPE structures handed across COM boundaries.
#pragma once

#include "dshow/DshowTypes.h"

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    // A type with the given major type and everything else empty.
    explicit CMediaType(const GUID& majorType);
    CMediaType(const CMediaType& other);
    CMediaType& operator=(const CMediaType& other);
    ~CMediaType();

    // Deep-copies `source` into this type; E_OUTOFMEMORY leaves it empty.
    HRESULT Set(const AM_MEDIA_TYPE& source);
    // Frees the format block and clears every field.
    void Clear();
    // Copies `size` bytes into a fresh format block (null/0 removes it).
    HRESULT SetFormat(const BYTE* format, ULONG size);

    bool IsValid() const;  // major type set
    bool Equals(const AM_MEDIA_TYPE& other) const;
    // True when every field that `partial` specifies (non-null GUIDs) matches.
    bool MatchesPartial(const AM_MEDIA_TYPE& partial) const;
    // A type is partial when its major type, subtype or format type is GUID_NULL.
    static bool IsPartial(const AM_MEDIA_TYPE& type);

    // Frees the format block and the pUnk of `type`, leaving it zeroed.
    static void FreeMediaType(AM_MEDIA_TYPE& type);
    // Frees the contents and the structure itself (CoTaskMemFree).
    static void DeleteMediaType(AM_MEDIA_TYPE* type);
    // Deep-copies source into *destination (whose old contents are ignored).
    static HRESULT CopyMediaType(AM_MEDIA_TYPE* destination, const AM_MEDIA_TYPE* source);
    // A CoTaskMemAlloc'd deep copy; the caller frees it with DeleteMediaType.
    static AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
};
