// A host calls the driver through raw method-table positions: slot k of the
// object CreateBonDriver returns must be the k-th method of IBonDriver2, with
// the member calling convention hosts use. On 32-bit x86 every call but the
// float one goes through the stack probe, which proves that each method pops
// its own arguments (thiscall) instead of leaving them to the host.
#include "tests/windows/DriverHarness.h"
#include "tests/windows/MethodSlot.h"
#include "tests/windows/StackProbe.h"

using DriverSlots = DriverHarness;

namespace {
template <class R, class... A>
R CallSlot(void* object, int slot, A... args) {
#if defined(BDA_STACK_PROBE)
    if constexpr (!std::is_floating_point_v<R>) {
        const ProbeResult probe = ProbeCall(MethodTable(object)[slot], object, args...);
        EXPECT_EQ(probe.BytesLeft, 0u) << "slot " << slot << " left its arguments to the caller";
        if constexpr (std::is_void_v<R>)
            return;
        else if constexpr (std::is_pointer_v<R>)
            return reinterpret_cast<R>(static_cast<uintptr_t>(probe.Eax));
        else
            return static_cast<R>(probe.Eax);
    }
#endif
    return CallMember<R, A...>(object, slot, args...);
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
    EXPECT_EQ(CallSlot<DWORD>(object, 4, DWORD{10}), DWORD{WAIT_ABANDONED});    // WaitTsStream
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
