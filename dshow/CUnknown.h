// CUnknown: the non-delegating IUnknown at the start of every framework
// object. Its first three virtual methods have IUnknown's layout and calling
// convention, so the object's main method table doubles as its own IUnknown
// (that is what an aggregating outer object holds). The interfaces a class
// implements forward their IUnknown methods to GetOwner(): the outer unknown
// when aggregated, otherwise this non-delegating one.
// The reference count starts at 0 (the creator takes the first reference
// through QueryInterface or AddRef); the object deletes itself at 0.
#pragma once

#include "dshow/DshowTypes.h"

#include <atomic>

class CUnknown {
public:
    // `objectName` is kept only for debugging (may be null, not copied);
    // `outer` is the aggregating object (not AddRef'd: it owns us) or null.
    CUnknown(const WideChar* objectName, IUnknown* outer);

    // The main method table's first entries, in this exact order.
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object);
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef();
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease();
    virtual ~CUnknown();

    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    // The unknown that interfaces delegate to; not AddRef'd.
    IUnknown* GetOwner() const { return owner_; }
    // This object's own non-delegating unknown; not AddRef'd.
    IUnknown* NonDelegatingUnknown();
    const WideChar* ObjectName() const { return objectName_; }
    // Current count, for tests and traces only.
    ULONG ReferenceCount() const { return static_cast<ULONG>(references_.load()); }

    // Writes `unknown` to *object after AddRef through it; E_POINTER if null.
    static HRESULT GetInterface(IUnknown* unknown, void** object);

private:
    const WideChar* objectName_;
    IUnknown* owner_;
    std::atomic<long> references_{0};
};
