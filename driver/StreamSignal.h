// StreamSignal: the stream event of one open tuner, and the way a thread
// waiting on it learns that the tuner closed.
//
// A reader sits in WaitTsStream while another host thread may close the
// tuner or release the driver. The waiter holds its own reference on the
// signal (shared_ptr), so the events it waits on are closed only after the
// last waiter has left: no wait ever uses a closed or reused handle. Close()
// wakes every waiter at once.
#pragma once

#include <memory>

#include "platform/EventHandle.h"
#include "platform/PlatformTypes.h"

class StreamSignal {
public:
    // Both events, or null when either cannot be created.
    static std::shared_ptr<StreamSignal> Create();

    // A chunk was queued: wakes one wait (the event is auto-reset).
    void ChunkQueued();
    // The tuner closed: every wait, present and future, ends.
    void Close();
    // Waits at most `timeoutMs` (INFINITE: no limit). WAIT_OBJECT_0 when a
    // chunk was queued, WAIT_ABANDONED when the tuner closed, WAIT_TIMEOUT,
    // or WAIT_FAILED.
    DWORD Wait(DWORD timeoutMs) const;

private:
    StreamSignal() = default;

    EventHandle chunkQueued_;  // auto-reset
    UniqueHandle closed_;      // manual-reset
};
