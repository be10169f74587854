// A host calls the driver through raw method-table positions: slot k of the
// object CreateBonDriver returns must be the k-th method of IBonDriver2.
// (x86-64: member functions take the object as their first argument.)
#include "tests/windows/DriverHarness.h"

using DriverSlots = DriverHarness;

namespace {
template <class R, class... A>
R CallSlot(void* object, int slot, A... args) {
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<R (*)(void*, A...)>(table[slot])(object, args...);
}
}  // namespace

TEST_F(DriverSlots, EverySlotIsTheListedMethod) {
    WriteIni("ISDBT", "Tessel Sim ISDB Tuner", DeviceIdOf(0));
    void* object = LoadDriver();
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(CallSlot<LPCWSTR>(object, 10), L"Tessel Sim ISDB Tuner");   // GetTunerName
    EXPECT_EQ(CallSlot<BOOL>(object, 11), FALSE);                              // IsTunerOpening
    EXPECT_STREQ(CallSlot<LPCWSTR>(object, 12, DWORD{1}), L"CATV");            // EnumTuningSpace
    EXPECT_STREQ(CallSlot<LPCWSTR>(object, 13, DWORD{0}, DWORD{49}), L"62ch");  // EnumChannelName
    EXPECT_EQ(CallSlot<DWORD>(object, 4, DWORD{10}), 128u);                    // WaitTsStream
    ASSERT_EQ(CallSlot<BOOL>(object, 0), TRUE);                                // OpenTuner
    EXPECT_EQ(CallSlot<BOOL>(object, 11), TRUE);
    EXPECT_EQ(CallSlot<BOOL>(object, 14, DWORD{0}, DWORD{3}), TRUE);           // SetChannel(2)
    EXPECT_EQ(CallSlot<DWORD>(object, 15), 0u);                                // GetCurSpace
    EXPECT_EQ(CallSlot<DWORD>(object, 16), 3u);                                // GetCurChannel
    EXPECT_EQ(CallSlot<BOOL>(object, 2, BYTE{4}), TRUE);                       // SetChannel(1)
    EXPECT_EQ(CallSlot<DWORD>(object, 16), 4u);
    Device()->SetSignal(L"17ch", 25, 37);
    EXPECT_EQ(CallSlot<float>(object, 3), 25.37f);                             // GetSignalLevel
    ASSERT_TRUE(WaitUntil([&] { return CallSlot<DWORD>(object, 5) >= 3; }, 10000));  // GetReadyCount
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    EXPECT_EQ(CallSlot<BOOL>(object, 6, &data, &size, &remaining), TRUE);      // pointer form
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 192512u);
    std::vector<BYTE> buffer(192512);
    EXPECT_EQ(CallSlot<BOOL>(object, 7, buffer.data(), &size, &remaining), TRUE);  // copy form
    EXPECT_EQ(buffer[0], 0x47);
    CallSlot<void>(object, 8);                                                 // PurgeTsStream
    EXPECT_EQ(CallSlot<DWORD>(object, 5), 0u);
    CallSlot<void>(object, 1);                                                 // CloseTuner
    EXPECT_EQ(CallSlot<BOOL>(object, 11), FALSE);
    CallSlot<void>(object, 9);                                                 // Release
    driver_ = nullptr;
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
}
