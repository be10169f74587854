// The six PC/SC exports, used the way a winscard.h client uses the system's
// card library: function types from winscard.h, entry points and the
// SCARD_PCI_T1 record found by name on the driver DLL. Covers the fixed
// answers, the argument checks in their order, the card-reset state machine
// against the simulated card, and the mended cases (null pointers, short
// buffers, a status query that succeeds without S_OK).
#include <winscard.h>

#include <cstring>
#include <vector>

#include "tests/windows/DriverHarness.h"

namespace {

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

constexpr SCARDHANDLE CardHandle = 0x00600511;
constexpr LONG Unexpected = static_cast<LONG>(SCARD_E_UNEXPECTED);

// The simulated card answers a command with the command reversed plus 90 00.
std::vector<BYTE> EchoAnswer(std::vector<BYTE> command) {
    std::vector<BYTE> answer(command.rbegin(), command.rend());
    answer.push_back(0x90);
    answer.push_back(0x00);
    return answer;
}

}  // namespace

class SmartCardExports : public DriverHarness {
protected:
    // Loads the DLL (opening the tuner when asked) and binds the client.
    void Load(bool open) {
        if (open) {
            OpenDefault();
        } else {
            WriteDefaultIni();
            LoadDriver();
        }
        ASSERT_NE(module_, nullptr);
        establish_ = Export<decltype(&::SCardEstablishContext)>(module_, "SCardEstablishContext");
        release_ = Export<decltype(&::SCardReleaseContext)>(module_, "SCardReleaseContext");
        list_ = Export<decltype(&::SCardListReadersW)>(module_, "SCardListReadersW");
        connect_ = Export<decltype(&::SCardConnectW)>(module_, "SCardConnectW");
        disconnect_ = Export<decltype(&::SCardDisconnect)>(module_, "SCardDisconnect");
        transmit_ = Export<decltype(&::SCardTransmit)>(module_, "SCardTransmit");
        pciT1_ = Export<const SCARD_IO_REQUEST*>(module_, "g_rgSCardT1Pci");
        pciT0_ = Export<const SCARD_IO_REQUEST*>(module_, "g_rgSCardT0Pci");
        ASSERT_TRUE(establish_ && release_ && list_ && connect_ && disconnect_ && transmit_);
        ASSERT_TRUE(pciT1_ && pciT0_);
        sim_->CallLog()->Clear();  // forget what opening the tuner sent
    }

    // Context, reader and card as a client gets them; sends `command` with
    // SCARD_PCI_T1 and puts the answer into answer_.
    LONG Send(const std::vector<BYTE>& command) {
        SCARDCONTEXT context = 0;
        SCARDHANDLE card = 0;
        DWORD protocol = 0;
        EXPECT_EQ(establish_(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
        EXPECT_EQ(connect_(context, L"TOVI CardReader", SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1,
                           &card, &protocol),
                  SCARD_S_SUCCESS);
        answer_.assign(600, 0xEE);
        DWORD length = static_cast<DWORD>(answer_.size());
        LONG result = transmit_(card, pciT1_, command.data(), static_cast<DWORD>(command.size()),
                                nullptr, answer_.data(), &length);
        if (result == SCARD_S_SUCCESS) answer_.resize(length);
        disconnect_(card, SCARD_LEAVE_CARD);
        release_(context);
        return result;
    }
    // Resets the card carried out (refused ones are not counted).
    uint32_t Resets() { return Device()->State().CardResets; }
    size_t Commands() const { return sim_->CallLog()->Count(SimOp::TransmitCardCommand); }

    decltype(&::SCardEstablishContext) establish_ = nullptr;
    decltype(&::SCardReleaseContext) release_ = nullptr;
    decltype(&::SCardListReadersW) list_ = nullptr;
    decltype(&::SCardConnectW) connect_ = nullptr;
    decltype(&::SCardDisconnect) disconnect_ = nullptr;
    decltype(&::SCardTransmit) transmit_ = nullptr;
    const SCARD_IO_REQUEST* pciT1_ = nullptr;
    const SCARD_IO_REQUEST* pciT0_ = nullptr;
    std::vector<BYTE> answer_;
};

TEST_F(SmartCardExports, ProtocolRecordsMatchWinscard) {
    Load(false);
    const auto* raw = Export<const SCARD_IO_REQUEST*>(module_, "g_rgSCardRawPci");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(pciT0_->dwProtocol, 1u);
    EXPECT_EQ(pciT1_->dwProtocol, 2u);
    EXPECT_EQ(raw->dwProtocol, 0x10000u);
    for (const SCARD_IO_REQUEST* pci : {pciT0_, pciT1_, raw})
        EXPECT_EQ(pci->cbPciLength, sizeof(SCARD_IO_REQUEST));
    // Only the wide forms exist.
    EXPECT_EQ(GetProcAddress(module_, "SCardListReadersA"), nullptr);
    EXPECT_EQ(GetProcAddress(module_, "SCardConnectA"), nullptr);
}

TEST_F(SmartCardExports, FixedAnswersNeedNoTuner) {
    Load(false);
    SCARDCONTEXT context = 0;
    EXPECT_EQ(establish_(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context), SCARD_S_SUCCESS);
    EXPECT_NE(context, 0u);
    EXPECT_EQ(establish_(SCARD_SCOPE_USER, nullptr, nullptr, nullptr), SCARD_S_SUCCESS);

    DWORD length = 0;
    EXPECT_EQ(list_(context, nullptr, nullptr, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(length, 32u);
    WCHAR names[24];
    std::memset(names, 0xAB, sizeof names);
    EXPECT_EQ(list_(context, nullptr, names, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(std::memcmp(names, L"TOVI CardReader", 32), 0);
    EXPECT_EQ(names[16], 0xABABu);  // one terminating unit, nothing more
    EXPECT_EQ(list_(context + 1, nullptr, names, &length),
              static_cast<LONG>(SCARD_E_READER_UNAVAILABLE));

    SCARDHANDLE card = 0;
    DWORD active = 0;
    EXPECT_EQ(connect_(context, names, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0, &card, &active),
              SCARD_S_SUCCESS);
    EXPECT_EQ(card, CardHandle);
    EXPECT_EQ(active, 2u);  // T=1 whatever was asked
    EXPECT_EQ(connect_(context, names, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                       &card, &active),
              static_cast<LONG>(SCARD_E_CARD_UNSUPPORTED));
    EXPECT_EQ(connect_(context + 1, names, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &card, &active),
              static_cast<LONG>(SCARD_E_READER_UNAVAILABLE));
    EXPECT_EQ(connect_(context, names, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, nullptr, nullptr),
              SCARD_S_SUCCESS);
    EXPECT_EQ(disconnect_(card, SCARD_RESET_CARD), SCARD_S_SUCCESS);
    EXPECT_EQ(release_(context), SCARD_S_SUCCESS);
    EXPECT_EQ(sim_->CallLog()->Size(), 0u);
}

TEST_F(SmartCardExports, ReaderListBoundsAreKept) {
    Load(false);
    SCARDCONTEXT context = 0;
    establish_(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    EXPECT_EQ(list_(context, nullptr, nullptr, nullptr),
              static_cast<LONG>(SCARD_E_INVALID_PARAMETER));
    BYTE buffer[64];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD length = sizeof buffer;  // more than the list: only 32 bytes are copied
    EXPECT_EQ(list_(context, nullptr, reinterpret_cast<LPWSTR>(buffer), &length), SCARD_S_SUCCESS);
    EXPECT_EQ(buffer[32], 0xAB);
    length = 6;  // fewer: exactly that many bytes
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(list_(context, nullptr, reinterpret_cast<LPWSTR>(buffer), &length), SCARD_S_SUCCESS);
    EXPECT_EQ(std::memcmp(buffer, L"TOV", 6), 0);
    EXPECT_EQ(buffer[6], 0xAB);
    length = SCARD_AUTOALLOCATE;  // would need an allocation the library does not make
    EXPECT_EQ(list_(context, nullptr, reinterpret_cast<LPWSTR>(buffer), &length),
              static_cast<LONG>(SCARD_E_INVALID_PARAMETER));
}

TEST_F(SmartCardExports, TransmitWithoutAnOpenTunerIsUnexpectedForEveryArgument) {
    Load(false);
    BYTE command[2] = {0x00, 0xA4};
    BYTE answer[512];
    DWORD length = sizeof answer;
    EXPECT_EQ(transmit_(CardHandle, pciT1_, command, 2, nullptr, answer, &length), Unexpected);
    EXPECT_EQ(transmit_(1, nullptr, nullptr, 0, nullptr, nullptr, nullptr), Unexpected);
    ASSERT_TRUE(driver_->OpenTuner());
    driver_->CloseTuner();
    EXPECT_EQ(transmit_(CardHandle, pciT1_, command, 2, nullptr, answer, &length), Unexpected);
    EXPECT_EQ(sim_->CallLog()->Count(SimOp::GetCardStatus), 0u);
    EXPECT_EQ(length, sizeof answer);
}

TEST_F(SmartCardExports, ArgumentErrorsComeInOrderWithoutADeviceCall) {
    Load(true);
    BYTE command[2] = {0x00, 0xA4};
    BYTE answer[512];
    DWORD length = sizeof answer;
    const LONG unavailable = static_cast<LONG>(SCARD_E_READER_UNAVAILABLE);
    const LONG unsupported = static_cast<LONG>(SCARD_E_CARD_UNSUPPORTED);
    const LONG invalid = static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
    // Handle first, then protocol, then buffers.
    EXPECT_EQ(transmit_(CardHandle + 1, nullptr, nullptr, 0, nullptr, nullptr, nullptr), unavailable);
    EXPECT_EQ(transmit_(CardHandle, pciT0_, nullptr, 0, nullptr, nullptr, nullptr), unsupported);
    EXPECT_EQ(transmit_(CardHandle, pciT1_, command, 0, nullptr, answer, &length), invalid);
    EXPECT_EQ(transmit_(CardHandle, pciT1_, nullptr, 2, nullptr, answer, &length), invalid);
    EXPECT_EQ(transmit_(CardHandle, pciT1_, command, 2, nullptr, nullptr, &length), invalid);
    EXPECT_EQ(transmit_(CardHandle, pciT1_, command, 2, nullptr, answer, nullptr), invalid);
    EXPECT_EQ(transmit_(CardHandle, nullptr, command, 2, nullptr, answer, &length), invalid);
    EXPECT_EQ(sim_->CallLog()->Size(), 0u);
    // None of them disturbed the state: the first real command still resets.
    EXPECT_EQ(Send({0x00, 0xA4}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 1u);
}

TEST_F(SmartCardExports, FirstCommandResetsTheCardAndTheNextDoesNot) {
    Load(true);
    EXPECT_EQ(Send({0x80, 0x5E, 0x00, 0x00}), SCARD_S_SUCCESS);
    EXPECT_EQ(answer_, EchoAnswer({0x80, 0x5E, 0x00, 0x00}));
    std::vector<SimCall> log = sim_->CallLog()->Entries();
    const std::vector<SimOp> expected = {SimOp::GetCardStatus, SimOp::GetCardStatus,
                                         SimOp::ResetCard, SimOp::GetCardStatus,
                                         SimOp::TransmitCardCommand};
    ASSERT_EQ(log.size(), expected.size());
    for (size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i].Op, expected[i]) << i;
    EXPECT_EQ(log.back().Bytes, (std::vector<uint8_t>{0x80, 0x5E, 0x00, 0x00}));
    EXPECT_EQ(log.back().Values, (std::vector<uint32_t>{4, 512}));

    sim_->CallLog()->Clear();
    EXPECT_EQ(Send({0x01}), SCARD_S_SUCCESS);
    EXPECT_EQ(answer_, EchoAnswer({0x01}));
    EXPECT_EQ(sim_->CallLog()->Size(), 3u);  // status, status, command
    EXPECT_EQ(sim_->CallLog()->Count(SimOp::ResetCard), 0u);
    EXPECT_EQ(Resets(), 1u);
}

TEST_F(SmartCardExports, AnAbsentCardArmsTheReset) {
    Load(true);
    ASSERT_EQ(Send({0x01}), SCARD_S_SUCCESS);
    Device()->SetCardPresent(false);
    EXPECT_EQ(Send({0x02}), Unexpected);
    EXPECT_EQ(Commands(), 1u);
    Device()->SetCardPresent(true);
    EXPECT_EQ(Send({0x03}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 2u);
    EXPECT_EQ(Send({0x04}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 2u);
}

TEST_F(SmartCardExports, LongestAnswerIs510Bytes) {
    Load(true);
    std::vector<BYTE> body(510);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<BYTE>(i * 7);
    Device()->QueueCardResponse(body);
    EXPECT_EQ(Send({0x01}), SCARD_S_SUCCESS);
    EXPECT_EQ(answer_, body);
    Device()->ForceCardResponseLength(511);
    EXPECT_EQ(Send({0x02}), Unexpected);
    EXPECT_EQ(answer_, std::vector<BYTE>(600, 0xEE));  // nothing written
    Device()->ForceCardResponseLength(-1);
    EXPECT_EQ(Send({0x03}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 2u);  // the refusal armed the reset
}

TEST_F(SmartCardExports, DeviceFailuresArmOrKeepTheResetAsTheStateSays) {
    Load(true);
    // Waiting for the reset: a failed reset or command leaves it armed.
    Device()->ArmFault(SimOp::ResetCard, E_FAIL, 1);
    EXPECT_EQ(Send({0x01}), Unexpected);
    EXPECT_EQ(Commands(), 0u);
    Device()->ArmFault(SimOp::TransmitCardCommand, E_FAIL, 1);
    EXPECT_EQ(Send({0x02}), Unexpected);
    EXPECT_EQ(Send({0x03}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 2u);  // the refused reset is not counted
    // Ready: a failed status query keeps the state, a failed command arms it.
    Device()->ArmFault(SimOp::GetCardStatus, E_FAIL, 1);
    EXPECT_EQ(Send({0x04}), Unexpected);
    EXPECT_EQ(Send({0x05}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 2u);
    Device()->ArmFault(SimOp::TransmitCardCommand, E_FAIL, 1);
    EXPECT_EQ(Send({0x06}), Unexpected);
    EXPECT_EQ(Send({0x07}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 3u);
}

TEST_F(SmartCardExports, StatusWithoutSOkNeverPassesAnUnfilledAnswer) {
    Load(true);
    ASSERT_EQ(Send({0x01}), SCARD_S_SUCCESS);
    const size_t commands = Commands();
    Device()->ArmFault(SimOp::GetCardStatus, S_FALSE, SimFaultAlways);
    EXPECT_EQ(Send({0x02}), Unexpected);
    EXPECT_EQ(Commands(), commands);  // the command step stopped at its status
    EXPECT_EQ(answer_, std::vector<BYTE>(600, 0xEE));
    Device()->DisarmFaults();
    EXPECT_EQ(Send({0x03}), SCARD_S_SUCCESS);
    EXPECT_EQ(answer_, EchoAnswer({0x03}));
}

TEST_F(SmartCardExports, ShortReceiveBufferIsReportedNotOverrun) {
    Load(true);
    SCARDHANDLE card = CardHandle;
    BYTE command[3] = {0x01, 0x02, 0x03};
    BYTE answer[8];
    std::memset(answer, 0xEE, sizeof answer);
    DWORD length = 2;  // the answer needs 5
    EXPECT_EQ(transmit_(card, pciT1_, command, 3, nullptr, answer, &length),
              static_cast<LONG>(SCARD_E_INSUFFICIENT_BUFFER));
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(answer[0], 0xEE);
    EXPECT_EQ(transmit_(card, pciT1_, command, 3, nullptr, answer, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(std::vector<BYTE>(answer, answer + length), EchoAnswer({0x01, 0x02, 0x03}));
    EXPECT_EQ(Resets(), 1u);
}

TEST_F(SmartCardExports, StateOutlivesClosingTheTuner) {
    Load(true);
    ASSERT_EQ(Send({0x01}), SCARD_S_SUCCESS);
    driver_->CloseTuner();
    ASSERT_TRUE(driver_->OpenTuner());
    EXPECT_EQ(Send({0x02}), SCARD_S_SUCCESS);
    EXPECT_EQ(Resets(), 1u);  // ready before the close, ready after it
}
