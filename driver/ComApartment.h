// The COM initialisation the driver object makes on the thread that starts
// it, undone only if it was made, and only on that thread. A host thread that
// is already in the multithreaded apartment (CoInitialize answers
// RPC_E_CHANGED_MODE) keeps its own initialisation, and a Release on another
// thread leaves the creating thread's as it is. A plain value: Release takes
// it out of the object and leaves the apartment once the graph is gone.
#pragma once

#include "platform/PlatformTypes.h"

class ComApartment {
public:
    // Nothing entered yet.
    ComApartment() = default;
    // CoInitialize on the calling thread.
    static ComApartment Enter();
    // CoUninitialize when Enter's CoInitialize succeeded and the caller is
    // the thread that entered; otherwise nothing. Once only.
    void Leave();
    // What Enter's CoInitialize answered (E_FAIL before any Enter).
    HRESULT Entered() const { return entered_; }

private:
    HRESULT entered_ = E_FAIL;
    DWORD thread_ = 0;
};
