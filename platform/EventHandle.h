// Owns one Win32 event handle: an unnamed auto-reset event, created
// non-signalled, closed when the holder goes or is reset.
#pragma once

#include "platform/PlatformTypes.h"

class EventHandle {
public:
    EventHandle() = default;
    ~EventHandle() { Close(); }
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;

    // Creates a fresh event (closing any held one); false when creation failed.
    bool CreateAutoReset() {
        Close();
        handle_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        return handle_ != nullptr;
    }
    void Close() {
        if (handle_ != nullptr) CloseHandle(handle_);
        handle_ = nullptr;
    }
    // The handle stays owned by this holder.
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};
