#include "driver/ComApartment.h"

#include <objbase.h>

ComApartment ComApartment::Enter() {
    ComApartment apartment;
    apartment.entered_ = CoInitialize(nullptr);
    apartment.thread_ = GetCurrentThreadId();
    return apartment;
}

void ComApartment::Leave() {
    if (FAILED(entered_) || GetCurrentThreadId() != thread_) return;
    entered_ = E_FAIL;
    CoUninitialize();
}
