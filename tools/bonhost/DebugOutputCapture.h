// DebugOutputCapture: the debug output of bonhost's own process, as a
// debug-output viewer would see it, while a self-test runs. OutputDebugString
// raises DBG_PRINTEXCEPTION_C before anything else; a vectored handler sees
// it first, copies the text into a buffer reserved beforehand and ends the
// exception there, so the text never goes to the session-wide buffer another
// viewer may hold, and a tracing driver's call never waits for one.
//
// The handler runs on whatever thread traces (the driver's streaming,
// remote-key and recovery threads among them), so it takes no lock and
// allocates nothing: each text takes its room with one atomic add. What does
// not fit is counted and dropped. One capture at a time per process.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>

class DebugOutputCapture {
public:
    // Reserves `capacity` bytes and installs the handler; Active() says
    // whether that worked.
    explicit DebugOutputCapture(size_t capacity = 32u << 20);
    // Removes the handler and frees the buffer.
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    bool Active() const { return handler_ != nullptr; }
    // Stops capturing (later output goes on as without a capture).
    void Stop();
    // The text captured so far, in the order the texts took their room.
    // Call it once the threads that trace have ended (or after Stop).
    std::string Text() const;
    // Texts that did not fit.
    size_t Dropped() const { return dropped_.load(); }

private:
    static LONG CALLBACK Handle(EXCEPTION_POINTERS* pointers);
    void Append(const char* text, size_t length);

    static std::atomic<DebugOutputCapture*> current_;
    char* buffer_ = nullptr;
    size_t capacity_ = 0;
    std::atomic<size_t> used_{0};
    std::atomic<size_t> dropped_{0};
    void* handler_ = nullptr;
};
