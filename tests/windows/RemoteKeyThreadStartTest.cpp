// When the graph object starts its remote-key thread, and that its
// destruction ends the thread: built in this program (the graph code is
// linked in) with CreateEventW and _beginthreadex hooked in the program's
// import table, so that an event can be made to fail and every start of the
// key thread is seen.
#include <gtest/gtest.h>

#include <windows.h>

#include <imm.h>
#include <process.h>

#include <thread>

#include <vector>

#include "graph/MyFilterGraph.h"
#include "remote/RemoteKeyForwarder.h"
#include "tests/windows/RemoteKeyImportHook.h"
#include "tests/windows/RemoteKeyTestWindows.h"
#include "tests/windows/ScopedWatchdog.h"

namespace {

typedef HANDLE(WINAPI* CreateEventFunction)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR);
typedef uintptr_t(__cdecl* BeginThreadFunction)(void*, unsigned, unsigned(__stdcall*)(void*),
                                               void*, unsigned, unsigned*);

CreateEventFunction RealCreateEvent = nullptr;
BeginThreadFunction RealBeginThread = nullptr;
int CreateEventCalls = 0;
int FailingCreateEventCall = 0;  // 1-based; 0 = none fails
std::vector<HANDLE> KeyThreads;  // duplicates of every key-thread handle

HANDLE WINAPI HookedCreateEvent(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial,
                                LPCWSTR name) {
    if (++CreateEventCalls == FailingCreateEventCall) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return RealCreateEvent(security, manual, initial, name);
}

uintptr_t __cdecl HookedBeginThread(void* security, unsigned stack,
                                    unsigned(__stdcall* start)(void*), void* argument,
                                    unsigned flags, unsigned* id) {
    uintptr_t handle = RealBeginThread(security, stack, start, argument, flags, id);
    if (start == &RemoteKeyThread && handle != 0) {
        HANDLE copy = nullptr;
        DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(handle), GetCurrentProcess(),
                        &copy, SYNCHRONIZE, FALSE, 0);
        KeyThreads.push_back(copy);
    }
    return handle;
}

class KeyThreadStart : public ::testing::Test {
protected:
    void SetUp() override {
        CreateEventCalls = 0;
        FailingCreateEventCall = 0;
        KeyThreads.clear();
    }
    void TearDown() override {
        for (HANDLE thread : KeyThreads) CloseHandle(thread);
        KeyThreads.clear();
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    }
    HWND Make(bool visible = true, HWND owner = nullptr) {
        HWND window = CreateRecordingWindow(&record_, visible, owner);
        EXPECT_NE(window, nullptr) << NoWindowHint();
        if (window != nullptr) windows_.push_back(window);
        return window;
    }
    // Builds and destroys one graph object with the hooks in place.
    void BuildAndDestroy() {
        ScopedWatchdog watchdog("destroying the graph object", 30000);
        ImportHook events("CreateEventW", reinterpret_cast<void*>(&HookedCreateEvent));
        ImportHook threads("_beginthreadex", reinterpret_cast<void*>(&HookedBeginThread));
        ASSERT_TRUE(events.Installed());
        ASSERT_TRUE(threads.Installed());
        RealCreateEvent = reinterpret_cast<CreateEventFunction>(events.Original());
        RealBeginThread = reinterpret_cast<BeginThreadFunction>(threads.Original());
        MyFilterGraph* graph = new MyFilterGraph();
        delete graph;
    }

    CommandRecord record_;
    std::vector<HWND> windows_;
};

TEST_F(KeyThreadStart, OneHostWindowStartsOneThreadThatEndsWithTheObject) {
    Make(false);  // unowned: counts even while hidden
    ASSERT_FALSE(HasFailure());
    BuildAndDestroy();
    EXPECT_EQ(CreateEventCalls, 2);
    ASSERT_EQ(KeyThreads.size(), 1u);
    // The destructor returned only after the thread was gone.
    EXPECT_EQ(WaitForSingleObject(KeyThreads[0], 0), WAIT_OBJECT_0);
}

TEST_F(KeyThreadStart, NoWindowInTheProcessNoThread) {
    ASSERT_TRUE(OwnQualifyingWindows().empty()) << "a window of an earlier test is left";
    BuildAndDestroy();
    EXPECT_EQ(CreateEventCalls, 2);
    EXPECT_TRUE(KeyThreads.empty());
}

TEST_F(KeyThreadStart, OnlyOwnedHiddenWindowsNoThread) {
    // Made on a thread of their own with its input method switched off:
    // Wine gives every window thread an unowned hidden "IME" window, which
    // would count. The owner is a message-only window, which no enumeration
    // of top-level windows sees, so the one top-level window left is owned
    // and hidden.
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND owner = nullptr, owned = nullptr;
    std::thread maker([&] {
        ImmDisableIME(GetCurrentThreadId());
        owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        if (owner != nullptr) owned = CreateRecordingWindow(&record_, false, owner);
        SetEvent(ready);
        WaitForSingleObject(done, INFINITE);
        if (owned != nullptr) DestroyWindow(owned);
        if (owner != nullptr) DestroyWindow(owner);
    });
    WaitForSingleObject(ready, INFINITE);
    const bool made = owned != nullptr && GetWindow(owned, GW_OWNER) == owner;
    const std::vector<HWND> qualifying = OwnQualifyingWindows();
    if (made && qualifying.empty()) BuildAndDestroy();
    SetEvent(done);
    maker.join();
    CloseHandle(ready);
    CloseHandle(done);
    ASSERT_TRUE(made) << NoWindowHint();
    ASSERT_TRUE(qualifying.empty()) << "another window of this process qualifies";
    EXPECT_EQ(CreateEventCalls, 2);
    EXPECT_TRUE(KeyThreads.empty());
}

TEST_F(KeyThreadStart, FailedStopEventNoThreadAndNoWait) {
    Make(false);
    ASSERT_FALSE(HasFailure());
    FailingCreateEventCall = 1;  // StopThreadEvent is created first
    BuildAndDestroy();           // would wait forever on a thread it cannot stop
    EXPECT_EQ(CreateEventCalls, 2);
    EXPECT_TRUE(KeyThreads.empty());
}

TEST_F(KeyThreadStart, FailedExitedEventNoThreadAndNoWait) {
    Make(false);
    ASSERT_FALSE(HasFailure());
    FailingCreateEventCall = 2;
    BuildAndDestroy();
    EXPECT_EQ(CreateEventCalls, 2);
    EXPECT_TRUE(KeyThreads.empty());
}

}  // namespace
