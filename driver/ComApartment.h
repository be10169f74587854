// The COM initialisation the driver object makes on the thread that creates
// it, undone only if it was made, and only on that thread. A host thread that
// is already in the multithreaded apartment (CoInitialize answers
// RPC_E_CHANGED_MODE) keeps its own initialisation, and a Release on another
// thread leaves the creating thread's as it is.
#pragma once

#include "platform/PlatformTypes.h"

class ComApartment {
public:
    // CoInitialize on the calling thread.
    ComApartment();
    // CoUninitialize when the construction's CoInitialize succeeded and the
    // caller is the constructing thread; otherwise nothing.
    void Leave();
    // What the construction's CoInitialize answered.
    HRESULT Entered() const { return entered_; }

private:
    HRESULT entered_;
    DWORD thread_;
    bool left_ = false;
};
