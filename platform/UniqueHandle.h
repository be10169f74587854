// Owns one Win32 handle and closes it when the holder goes or is reset.
// Closing a thread's handle does not stop the thread.
#pragma once

#include "platform/PlatformTypes.h"

class UniqueHandle {
public:
    UniqueHandle() = default;
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    // Takes over `handle` (null: none), closing any held one.
    void Adopt(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    void Close() {
        if (handle_ != nullptr) CloseHandle(handle_);
        handle_ = nullptr;
    }
    // The handle stays owned by this holder; null when none is held.
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};
