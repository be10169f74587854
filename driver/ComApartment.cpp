#include "driver/ComApartment.h"

#include <objbase.h>

ComApartment::ComApartment()
    : entered_(CoInitialize(nullptr)), thread_(GetCurrentThreadId()) {}

void ComApartment::Leave() {
    if (left_ || FAILED(entered_) || GetCurrentThreadId() != thread_) return;
    left_ = true;
    CoUninitialize();
}
