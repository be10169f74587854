// Hands a newly constructed simulator object out through the interface the
// class factory was asked for. Objects start with no reference; the one taken
// here is dropped at the end, so a failed construction or query frees them.
#pragma once

#include <unknwn.h>

template <typename T>
HRESULT HandOutNewObject(T* created, const HRESULT* constructed, REFIID iid, void** object) {
    if (created == nullptr) return E_OUTOFMEMORY;
    IUnknown* unknown = created->NonDelegatingUnknown();
    unknown->AddRef();
    const HRESULT hr = SUCCEEDED(*constructed) ? unknown->QueryInterface(iid, object) : *constructed;
    unknown->Release();
    return hr;
}
