#include "tests/windows/RemoteKeyTestWindows.h"

#include <cstdio>

namespace {

const wchar_t* const ClassName = L"RemoteKeyTestWindow";

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        CREATESTRUCTW* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_COMMAND) {
        CommandRecord* record =
            reinterpret_cast<CommandRecord*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (record != nullptr) record->Add(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterOnce() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &RecordingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = ClassName;
    registered = RegisterClassW(&windowClass) != 0;
}

BOOL CALLBACK CollectOwn(HWND window, LPARAM list) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    if (GetWindow(window, GW_OWNER) != nullptr && !IsWindowVisible(window)) return TRUE;
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

void CommandRecord::SetHandler(std::function<void(WPARAM)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void CommandRecord::Add(WPARAM command) {
    std::function<void(WPARAM)> handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(command);
        handler = handler_;
    }
    if (handler) handler(command);
}

std::vector<WPARAM> CommandRecord::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

size_t CommandRecord::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_.size();
}

HWND CreateRecordingWindow(CommandRecord* record, bool visible, HWND owner) {
    RegisterOnce();
    DWORD style = owner != nullptr ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    HWND window = CreateWindowExW(0, ClassName, L"remote key test", style, 10, 10, 200, 120,
                                  owner, nullptr, GetModuleHandleW(nullptr), record);
    if (window != nullptr && visible) ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

const char* NoWindowHint() {
    return "could not create a window: these tests need an X display (run under xvfb-run -a)";
}

bool PumpUntil(const std::function<bool()>& condition, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (condition()) return true;
        ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now < 10 ? end - now : 10),
                                  QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool MakeForeground(HWND window) {
    SetForegroundWindow(window);
    return PumpUntil([window] { return GetForegroundWindow() == window; }, 2000);
}

std::vector<HWND> OwnQualifyingWindows() {
    std::vector<HWND> windows;
    EnumWindows(&CollectOwn, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

WindowThread::WindowThread(CommandRecord* record) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, record, ready] {
        threadId_ = GetCurrentThreadId();
        HWND window = CreateRecordingWindow(record);
        window_ = window;
        SetEvent(ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (window != nullptr) DestroyWindow(window);
    });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

WindowThread::~WindowThread() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

