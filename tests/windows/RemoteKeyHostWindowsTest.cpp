// Which windows the graph counts as the host's: the enumeration callback's
// rules one by one, and the whole collection against an independent walk.
#include <gtest/gtest.h>

#include <vector>

#include "remote/HostWindows.h"
#include "tests/windows/RemoteKeyTestWindows.h"

namespace {

class HostWindowCollection : public ::testing::Test {
protected:
    void TearDown() override {
        // Owned windows go with their owner, so destroy the newest first.
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    }
    HWND Make(bool visible = true, HWND owner = nullptr) {
        HWND window = CreateRecordingWindow(&record_, visible, owner);
        EXPECT_NE(window, nullptr) << NoWindowHint();
        if (window != nullptr) windows_.push_back(window);
        return window;
    }
    static HostWindowRecord OwnRecord(uint8_t alreadyTaken) {
        HostWindowRecord record;
        record.ProcessId = GetCurrentProcessId();
        record.List.Count = alreadyTaken;
        return record;
    }
    static BOOL Offer(HWND window, HostWindowRecord* record) {
        return CollectHostWindow(window, reinterpret_cast<LPARAM>(record));
    }

    CommandRecord record_;
    std::vector<HWND> windows_;
};

TEST_F(HostWindowCollection, TakesUnownedWindowsVisibleOrNotAndOwnedOnesOnlyWhenVisible) {
    HWND visible = Make(true);
    HWND hidden = Make(false);
    HWND ownedVisible = Make(true, visible);
    HWND ownedHidden = Make(false, visible);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(GetWindow(ownedHidden, GW_OWNER), visible);

    HostWindowRecord record = OwnRecord(0);
    for (HWND window : {visible, hidden, ownedVisible, ownedHidden})
        EXPECT_TRUE(Offer(window, &record));
    ASSERT_EQ(record.List.Count, 3);
    EXPECT_EQ(record.List.Windows[0], visible);
    EXPECT_EQ(record.List.Windows[1], hidden);
    EXPECT_EQ(record.List.Windows[2], ownedVisible);
    EXPECT_EQ(record.List.Windows[3], nullptr);
}

TEST_F(HostWindowCollection, SkipsWindowsOfOtherProcessesAndGoesOn) {
    HWND mine = Make(false);
    ASSERT_NE(mine, nullptr);
    HostWindowRecord record = OwnRecord(0);
    record.ProcessId = GetCurrentProcessId() + 4;  // process ids are multiples of 4
    EXPECT_TRUE(Offer(mine, &record));
    EXPECT_EQ(record.List.Count, 0);
}

TEST_F(HostWindowCollection, StopsAtTheNinthQualifyingWindowWithoutTakingIt) {
    HWND owner = Make(false);
    HWND ownedHidden = Make(false, owner);
    ASSERT_FALSE(HasFailure());

    HostWindowRecord seven = OwnRecord(7);
    EXPECT_TRUE(Offer(owner, &seven));
    EXPECT_EQ(seven.List.Count, 8);
    EXPECT_EQ(seven.List.Windows[7], owner);

    HostWindowRecord full = OwnRecord(8);
    EXPECT_FALSE(Offer(owner, &full));
    EXPECT_EQ(full.List.Count, 8);
    // A window that would not be taken anyway does not end the walk.
    EXPECT_TRUE(Offer(ownedHidden, &full));
    HostWindowRecord other = OwnRecord(8);
    other.ProcessId = GetCurrentProcessId() + 4;
    EXPECT_TRUE(Offer(owner, &other));
}

TEST_F(HostWindowCollection, CollectsTheFirstEightInEnumerationOrder) {
    for (int i = 0; i < 10; ++i) Make(i % 5 == 0);
    Make(false, windows_.front());  // owned and hidden: never counted
    ASSERT_FALSE(HasFailure());
    std::vector<HWND> expected = OwnQualifyingWindows();
    ASSERT_GE(expected.size(), 10u);

    HostWindowList list;
    list.Windows[0] = reinterpret_cast<HWND>(1);  // overwritten, not merged
    CollectHostWindows(GetCurrentProcessId(), &list);
    ASSERT_EQ(list.Count, 8);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(list.Windows[i], expected[i]) << "entry " << i;
}

TEST_F(HostWindowCollection, AnotherProcessHasNoneOfOurWindows) {
    Make(false);
    ASSERT_FALSE(HasFailure());
    DWORD desktopProcess = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &desktopProcess);
    ASSERT_NE(desktopProcess, GetCurrentProcessId());
    HostWindowList list;
    CollectHostWindows(desktopProcess, &list);
    for (uint8_t i = 0; i < list.Count; ++i) {
        DWORD owner = 0;
        GetWindowThreadProcessId(list.Windows[i], &owner);
        EXPECT_EQ(owner, desktopProcess);
    }
    CollectHostWindows(GetCurrentProcessId(), nullptr);  // a null destination is ignored
}

}  // namespace
