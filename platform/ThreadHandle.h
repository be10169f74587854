// Owns the handle of one thread started with _beginthreadex; closes it when
// the holder goes. Closing the handle does not stop the thread.
#pragma once

#include "platform/PlatformTypes.h"

class ThreadHandle {
public:
    ThreadHandle() = default;
    ~ThreadHandle() { Close(); }
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;

    // Takes over `handle` (null when the start failed), closing any held one.
    void Adopt(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    void Close() {
        if (handle_ != nullptr) CloseHandle(handle_);
        handle_ = nullptr;
    }
    // The handle stays owned by this holder; null when no thread was started.
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};
