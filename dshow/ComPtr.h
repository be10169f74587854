// ComPtr<T>: owns one COM reference. Taking over an existing reference
// (Adopt) and adding one (AddRefOf) are separate, named operations so that
// every reference count change is visible where it happens; there is no
// implicit conversion from or to a raw pointer.
#pragma once

#include "dshow/DshowTypes.h"

#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { Reset(); }

    ComPtr(const ComPtr& other) noexcept : pointer_(other.pointer_) {
        if (pointer_) pointer_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr copy(other);
        Swap(copy);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr moved(std::move(other));
        Swap(moved);
        return *this;
    }

    // Takes over the caller's reference on `pointer` (no AddRef).
    static ComPtr Adopt(T* pointer) noexcept {
        ComPtr result;
        result.pointer_ = pointer;
        return result;
    }
    // Adds a reference of its own to `pointer` (which may be null).
    static ComPtr AddRefOf(T* pointer) noexcept {
        ComPtr result;
        result.pointer_ = pointer;
        if (pointer) pointer->AddRef();
        return result;
    }

    // The held pointer; the ComPtr keeps its reference.
    T* Get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // Releases what is held and returns the slot for an out-parameter that
    // hands over a reference (T** form and void** form for QueryInterface).
    T** Receive() noexcept {
        Reset();
        return &pointer_;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

    // Gives the reference to the caller, who must release it.
    T* Detach() noexcept {
        T* pointer = pointer_;
        pointer_ = nullptr;
        return pointer;
    }
    // Releases the held reference, if any.
    void Reset() noexcept {
        T* pointer = pointer_;
        pointer_ = nullptr;
        if (pointer) pointer->Release();
    }
    // Replaces the content with the interface `iid` queried from `from`.
    HRESULT QueryFrom(IUnknown* from, REFIID iid = __uuidof(T)) noexcept {
        Reset();
        if (!from) return E_POINTER;
        return from->QueryInterface(iid, ReceiveVoid());
    }
    // Writes an AddRef'd copy to *out (null when empty); the caller owns it.
    HRESULT CopyTo(T** out) const noexcept {
        if (!out) return E_POINTER;
        *out = pointer_;
        if (pointer_) pointer_->AddRef();
        return S_OK;
    }
    void Swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

private:
    T* pointer_ = nullptr;
};
