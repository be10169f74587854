// 32-bit x86 hosts meet the exports through calling conventions that the
// compiler cannot check across the DLL boundary: the TesselBonDriver_
// exports and CreateBonDriver are caller-cleans (cdecl), the PC/SC exports
// callee-cleans (stdcall, as winscard.h declares them). Each export is called
// through the stack probe, and the bytes it leaves on the stack must be what
// its convention says. On x86-64 there is one convention, so the case skips.
#include <winscard.h>

#include "tests/windows/DriverHarness.h"
#include "tests/windows/StackProbe.h"

using CallingConventions = DriverHarness;

#if defined(BDA_STACK_PROBE)
namespace {

const void* ExportOf(HMODULE module, const char* name) {
    const void* function = reinterpret_cast<const void*>(GetProcAddress(module, name));
    EXPECT_NE(function, nullptr) << name;
    return function;
}

}  // namespace

TEST_F(CallingConventions, ExportsLeaveTheStackAsTheirConventionSays) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    const uint16_t pids[2] = {0x100, 0x101};
    uint32_t code = 0xFFFF;
    uint8_t key = 0;
    Device()->ScriptRemoteKeys({SimRemoteKey{S_OK, 0x2010, 0xB3}});

    struct Cdecl {
        const char* Name;
        std::vector<uint32_t> Args;
    };
    const Cdecl cdeclExports[] = {
        {"TesselBonDriver_EnableDisableHardwarePidFilter", {1}},
        {"TesselBonDriver_ResetHardwarePidFilter", {}},
        {"TesselBonDriver_SetHardwarePidFilterAddPID", {2, ProbeWord(pids)}},
        {"TesselBonDriver_SetHardwarePidFilterRemovePID", {1, ProbeWord(pids)}},
        {"TesselBonDriver_GetRemoteControlKey", {ProbeWord(&code), ProbeWord(&key)}},
        {"TesselBonDriver_CheckLNBPowerCircuit", {1}},
        {"TesselBonDriver_SetLNBPower", {1}},
        {"TesselBonDriver_GetLNBPower", {1}},
        {"TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber", {7, 8, 9}},
    };
    for (const Cdecl& e : cdeclExports) {
        uint32_t left = 0;
        const uint32_t result = BdaProbeCall(ExportOf(module_, e.Name), nullptr, e.Args.data(),
                                             static_cast<uint32_t>(e.Args.size()), &left);
        EXPECT_EQ(left, 4u * e.Args.size()) << e.Name << " must leave its arguments (cdecl)";
        EXPECT_EQ(result, 1u) << e.Name;
    }
    EXPECT_EQ(key, 0xB3);
    EXPECT_EQ(Device()->State().Manufacturer, 7u);
    EXPECT_EQ(Device()->State().SerialNumber, 9u);

    // The PC/SC sequence a card client makes, every call callee-cleans.
    SCARDCONTEXT context = 0;
    ProbeResult r = ProbeCall(ExportOf(module_, "SCardEstablishContext"), nullptr,
                              DWORD{SCARD_SCOPE_USER}, nullptr, nullptr, &context);
    EXPECT_EQ(r.BytesLeft, 0u);
    EXPECT_EQ(r.Eax, static_cast<uint32_t>(SCARD_S_SUCCESS));
    DWORD readerBytes = 0;
    r = ProbeCall(ExportOf(module_, "SCardListReadersW"), nullptr, context, nullptr, nullptr,
                  &readerBytes);
    EXPECT_EQ(r.BytesLeft, 0u);
    EXPECT_EQ(readerBytes, 32u);
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    r = ProbeCall(ExportOf(module_, "SCardConnectW"), nullptr, context, L"TOVI CardReader",
                  DWORD{SCARD_SHARE_SHARED}, DWORD{SCARD_PROTOCOL_T1}, &card, &protocol);
    EXPECT_EQ(r.BytesLeft, 0u);
    EXPECT_EQ(protocol, static_cast<DWORD>(SCARD_PROTOCOL_T1));
    const BYTE command[4] = {0x90, 0x30, 0x00, 0x00};
    BYTE answer[64] = {};
    DWORD answerLength = sizeof answer;
    const SCARD_IO_REQUEST t1 = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
    r = ProbeCall(ExportOf(module_, "SCardTransmit"), nullptr, card, &t1, command,
                  DWORD{sizeof command}, nullptr, answer, &answerLength);
    EXPECT_EQ(r.BytesLeft, 0u);
    EXPECT_EQ(r.Eax, static_cast<uint32_t>(SCARD_S_SUCCESS));
    EXPECT_EQ(answerLength, 6u);  // the simulated card echoes the command reversed, then 90 00
    r = ProbeCall(ExportOf(module_, "SCardDisconnect"), nullptr, card, DWORD{SCARD_LEAVE_CARD});
    EXPECT_EQ(r.BytesLeft, 0u);
    r = ProbeCall(ExportOf(module_, "SCardReleaseContext"), nullptr, context);
    EXPECT_EQ(r.BytesLeft, 0u);

    // The factory takes no arguments; a host still calls it as cdecl.
    r = ProbeCall(ExportOf(module_, "CreateBonDriver"), nullptr);
    EXPECT_EQ(r.BytesLeft, 0u);
    EXPECT_EQ(r.Eax, ProbeWord(static_cast<IBonDriver*>(driver)));
}

#else
TEST_F(CallingConventions, ExportsLeaveTheStackAsTheirConventionSays) {
    GTEST_SKIP() << "x86-64 has one calling convention: nothing to tell apart";
}
#endif
