#include "tools/bonhost/DebugOutputCapture.h"

#include <cstring>

namespace {
// OutputDebugStringA's exception (winnt.h names it DBG_PRINTEXCEPTION_C).
constexpr DWORD DebugPrintException = 0x40010006;
}  // namespace

std::atomic<DebugOutputCapture*> DebugOutputCapture::current_{nullptr};

DebugOutputCapture::DebugOutputCapture(size_t capacity) : capacity_(capacity) {
    buffer_ = static_cast<char*>(
        VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DebugOutputCapture* none = nullptr;
    if (buffer_ == nullptr || !current_.compare_exchange_strong(none, this)) return;
    handler_ = AddVectoredExceptionHandler(1, &DebugOutputCapture::Handle);
    if (handler_ == nullptr) current_.store(nullptr);
}

DebugOutputCapture::~DebugOutputCapture() {
    Stop();
    if (buffer_ != nullptr) VirtualFree(buffer_, 0, MEM_RELEASE);
}

void DebugOutputCapture::Stop() {
    if (handler_ == nullptr) return;
    RemoveVectoredExceptionHandler(handler_);
    handler_ = nullptr;
    current_.store(nullptr);
}

LONG CALLBACK DebugOutputCapture::Handle(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode != DebugPrintException || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    DebugOutputCapture* capture = current_.load();
    if (capture == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    // [0]: the length with the terminator, [1]: the text.
    const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    if (text != nullptr && length > 1) capture->Append(text, length - 1);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void DebugOutputCapture::Append(const char* text, size_t length) {
    const size_t at = used_.fetch_add(length);
    if (at > capacity_ || length > capacity_ - at) {
        ++dropped_;
        return;
    }
    std::memcpy(buffer_ + at, text, length);
}

std::string DebugOutputCapture::Text() const {
    if (buffer_ == nullptr) return std::string();
    // A text that did not fit left its room at the end unwritten.
    size_t end = used_.load() < capacity_ ? used_.load() : capacity_;
    while (end > 0 && buffer_[end - 1] == 0) --end;
    return std::string(buffer_, end);
}
