#include "driver/StreamSignal.h"

#include <new>

std::shared_ptr<StreamSignal> StreamSignal::Create() {
    std::shared_ptr<StreamSignal> signal(new (std::nothrow) StreamSignal());
    if (signal == nullptr || !signal->chunkQueued_.CreateAutoReset()) return nullptr;
    signal->closed_.Adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return signal->closed_.Get() != nullptr ? signal : nullptr;
}

void StreamSignal::ChunkQueued() { SetEvent(chunkQueued_.Get()); }

void StreamSignal::Close() { SetEvent(closed_.Get()); }

DWORD StreamSignal::Wait(DWORD timeoutMs) const {
    // A queued chunk wins over a close signalled at the same time: the
    // lower index is reported.
    const HANDLE events[2] = {chunkQueued_.Get(), closed_.Get()};
    const DWORD result = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    return result == WAIT_OBJECT_0 + 1 ? WAIT_ABANDONED : result;
}
