#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "driver/SmartCardReader.h"
#include "graph/CardSteps.h"

namespace {

struct StatusAnswer {
    HRESULT result;
    uint32_t present;
};

// A card device that answers from a script and records every call.
class FakeCard {
public:
    std::deque<StatusAnswer> statusScript;  // when empty: S_OK, card present
    HRESULT resetResult = S_OK;
    HRESULT transmitResult = S_OK;
    std::vector<uint8_t> response;  // written as it stands, length prefix included
    std::string calls;
    std::vector<uint8_t> lastCommand;
    uint32_t lastResponseSize = 0;

    HRESULT GetCardStatus(uint32_t* present) {
        calls += "S";
        StatusAnswer answer{S_OK, 1};
        if (!statusScript.empty()) {
            answer = statusScript.front();
            statusScript.pop_front();
        }
        if (answer.result == S_OK) *present = answer.present;
        return answer.result;
    }
    HRESULT ResetCard() {
        calls += "R";
        return resetResult;
    }
    HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* out,
                                uint32_t size) {
        calls += "T";
        lastCommand.assign(command, command + length);
        lastResponseSize = size;
        for (size_t i = 0; i < response.size() && i < size; ++i) out[i] = response[i];
        return transmitResult;
    }

    // A response of `length` data bytes counting up from 1.
    void Answer(uint32_t length) {
        response.assign(2 + (length > 510 ? 510 : length), 0);
        response[0] = static_cast<uint8_t>(length >> 8);
        response[1] = static_cast<uint8_t>(length);
        for (size_t i = 2; i < response.size(); ++i) response[i] = static_cast<uint8_t>(i - 1);
    }
};

const ScardDword T1[2] = {ProtocolT1, 8};
const ScardDword T0[2] = {ProtocolT0, 8};
const uint8_t Command[5] = {0x90, 0x30, 0x00, 0x00, 0x00};

class Transmit : public ::testing::Test {
protected:
    SmartCardReader reader;
    FakeCard card;
    CheckedCardDevice<FakeCard> device{card};  // the graph's three card steps over the fake
    uint8_t recv[600];
    ScardDword recvLength = sizeof recv;

    void SetUp() override {
        std::memset(recv, 0xCC, sizeof recv);
        card.Answer(4);
    }
    int32_t Send() {
        return reader.Transmit(true, &device, ReaderCardHandle, T1, Command, sizeof Command, recv,
                               &recvLength);
    }
    // Brings the reader to the ready state with one successful exchange.
    void MakeReady() {
        ASSERT_EQ(Send(), SCARD_S_SUCCESS);
        ASSERT_FALSE(reader.CardNeedsReset());
        card.calls.clear();
        recvLength = sizeof recv;
        std::memset(recv, 0xCC, sizeof recv);
    }
    void ExpectUntouched() {
        EXPECT_EQ(recvLength, sizeof recv);
        for (uint8_t byte : recv) ASSERT_EQ(byte, 0xCC);
    }
};

}  // namespace

TEST(SmartCardFixed, ContextAndList) {
    ScardHandle context = 0;
    EXPECT_EQ(SmartCardReader::EstablishContext(&context), SCARD_S_SUCCESS);
    EXPECT_EQ(context, ReaderContext);
    EXPECT_NE(ReaderContext, 0u);
    EXPECT_EQ(SmartCardReader::EstablishContext(nullptr), SCARD_S_SUCCESS);
    EXPECT_EQ(SmartCardReader::ReleaseContext(), SCARD_S_SUCCESS);
    EXPECT_EQ(SmartCardReader::Disconnect(), SCARD_S_SUCCESS);

    ScardDword length = 0;
    EXPECT_EQ(SmartCardReader::ListReaders(ReaderContext, nullptr, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(length, 32u);
    WideChar list[20];
    std::memset(list, 0x55, sizeof list);
    EXPECT_EQ(SmartCardReader::ListReaders(ReaderContext, list, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(length, 32u);
    const WideChar expected[16] = {'T', 'O', 'V', 'I', ' ', 'C', 'a', 'r',
                                   'd', 'R', 'e', 'a', 'd', 'e', 'r', 0};
    EXPECT_EQ(std::memcmp(list, expected, 32), 0);
    EXPECT_EQ(list[16], 0x5555);
}

TEST(SmartCardFixed, ListCountIsBytesAndBounded) {
    uint8_t bytes[64];
    std::memset(bytes, 0xAA, sizeof bytes);
    ScardDword length = 3;
    EXPECT_EQ(SmartCardReader::ListReaders(ReaderContext, bytes, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(bytes[0], 'T');
    EXPECT_EQ(bytes[2], 'O');
    EXPECT_EQ(bytes[3], 0xAA);
    length = 64;  // more than the list: only the list is copied
    EXPECT_EQ(SmartCardReader::ListReaders(ReaderContext, bytes, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(bytes[31], 0);
    EXPECT_EQ(bytes[32], 0xAA);
}

TEST(SmartCardFixed, ListRefusals) {
    uint8_t bytes[32] = {};
    ScardDword length = 32;
    EXPECT_EQ(SmartCardReader::ListReaders(ReaderContext + 1, bytes, &length),
              SCARD_E_READER_UNAVAILABLE);
    EXPECT_EQ(SmartCardReader::ListReaders(ReaderContext, bytes, nullptr),
              SCARD_E_INVALID_PARAMETER);
    uint8_t* callerPointer = nullptr;
    length = ScardAutoAllocate;
    EXPECT_EQ(SmartCardReader::ListReaders(ReaderContext, &callerPointer, &length),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(callerPointer, nullptr);
}

TEST(SmartCardFixed, ConnectAnswersTheOneCardWithT1) {
    ScardHandle card = 0;
    ScardDword protocol = 0;
    EXPECT_EQ(SmartCardReader::Connect(ReaderContext, ProtocolT0, &card, &protocol),
              SCARD_S_SUCCESS);
    EXPECT_EQ(card, 0x00600511u);
    EXPECT_EQ(protocol, 2u);  // T=1 whatever was preferred
    EXPECT_EQ(SmartCardReader::Connect(ReaderContext, ProtocolT1, nullptr, nullptr),
              SCARD_S_SUCCESS);
}

TEST(SmartCardFixed, ConnectRefusesProtocolSetsAndOtherContexts) {
    ScardHandle card = 0;
    ScardDword protocol = 0;
    EXPECT_EQ(SmartCardReader::Connect(ReaderContext, 3, &card, &protocol),
              SCARD_E_CARD_UNSUPPORTED);
    EXPECT_EQ(SmartCardReader::Connect(ReaderContext, 0, &card, &protocol),
              SCARD_E_CARD_UNSUPPORTED);
    EXPECT_EQ(SmartCardReader::Connect(0, ProtocolT1, &card, &protocol),
              SCARD_E_READER_UNAVAILABLE);
}

TEST_F(Transmit, FirstCommandResetsSecondDoesNot) {
    EXPECT_TRUE(reader.CardNeedsReset());
    EXPECT_EQ(Send(), SCARD_S_SUCCESS);
    EXPECT_EQ(card.calls, "SSRST");
    EXPECT_FALSE(reader.CardNeedsReset());
    EXPECT_EQ(reader.CardPresent(), 1u);
    EXPECT_EQ(recvLength, 4u);
    EXPECT_EQ(std::vector<uint8_t>(recv, recv + 5), (std::vector<uint8_t>{1, 2, 3, 4, 0xCC}));
    EXPECT_EQ(card.lastCommand, std::vector<uint8_t>(Command, Command + 5));
    EXPECT_EQ(card.lastResponseSize, 512u);
    card.calls.clear();
    recvLength = sizeof recv;
    EXPECT_EQ(Send(), SCARD_S_SUCCESS);
    EXPECT_EQ(card.calls, "SST");
}

TEST_F(Transmit, ResetNeededStaysWhileCardAbsent) {
    card.statusScript = {{S_OK, 0}};
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_EQ(card.calls, "S");
    EXPECT_TRUE(reader.CardNeedsReset());
    ExpectUntouched();
}

TEST_F(Transmit, ResetNeededStaysWhenAStepFails) {
    card.resetResult = E_FAIL;
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_EQ(card.calls, "SSR");
    EXPECT_TRUE(reader.CardNeedsReset());

    card.resetResult = S_OK;
    card.statusScript = {{S_OK, 1}, {S_OK, 0}};  // gone by the reset step
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_TRUE(reader.CardNeedsReset());

    card.transmitResult = E_FAIL;
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_TRUE(reader.CardNeedsReset());

    card.transmitResult = S_OK;
    card.Answer(511);
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_TRUE(reader.CardNeedsReset());
    ExpectUntouched();
}

TEST_F(Transmit, ReadyCardThatDisappearsNeedsReset) {
    MakeReady();
    card.statusScript = {{S_OK, 0}};
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_TRUE(reader.CardNeedsReset());
    EXPECT_EQ(reader.CardPresent(), 0u);
    ExpectUntouched();
}

TEST_F(Transmit, ReadyCardThatFailsNeedsReset) {
    MakeReady();
    card.transmitResult = E_FAIL;
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_TRUE(reader.CardNeedsReset());
    ExpectUntouched();
    card.transmitResult = S_OK;
    EXPECT_EQ(Send(), SCARD_S_SUCCESS);
    EXPECT_EQ(card.calls, "SSTSSRST");  // the failure armed a reset
}

TEST_F(Transmit, LengthLimitIs510) {
    MakeReady();
    card.Answer(510);
    EXPECT_EQ(Send(), SCARD_S_SUCCESS);
    EXPECT_EQ(recvLength, 510u);
    EXPECT_EQ(recv[509], static_cast<uint8_t>(510));
    EXPECT_EQ(recv[510], 0xCC);
    EXPECT_FALSE(reader.CardNeedsReset());

    recvLength = sizeof recv;
    std::memset(recv, 0xCC, sizeof recv);
    card.Answer(0x01FF);
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_TRUE(reader.CardNeedsReset());
    ExpectUntouched();
}

TEST_F(Transmit, StatusQueryFailureKeepsTheFlag) {
    card.statusScript = {{E_FAIL, 0}};
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_TRUE(reader.CardNeedsReset());
    MakeReady();
    card.statusScript = {{E_FAIL, 0}};
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_EQ(card.calls, "S");
    EXPECT_FALSE(reader.CardNeedsReset());
    ExpectUntouched();
}

TEST_F(Transmit, ArgumentErrorsInOrderWithoutTouchingAnything) {
    uint8_t* noBuffer = nullptr;
    ScardDword* noLength = nullptr;
    EXPECT_EQ(reader.Transmit(true, &device, 0x1234, nullptr, nullptr, 0, noBuffer, noLength),
              SCARD_E_READER_UNAVAILABLE);
    EXPECT_EQ(reader.Transmit(true, &device, ReaderCardHandle, T0, nullptr, 0, noBuffer, noLength),
              SCARD_E_CARD_UNSUPPORTED);
    EXPECT_EQ(reader.Transmit(true, &device, ReaderCardHandle, nullptr, Command, 5, recv,
                              &recvLength),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(reader.Transmit(true, &device, ReaderCardHandle, T1, nullptr, 5, recv, &recvLength),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(reader.Transmit(true, &device, ReaderCardHandle, T1, Command, 0, recv, &recvLength),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(reader.Transmit(true, &device, ReaderCardHandle, T1, Command, 5, nullptr,
                              &recvLength),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(reader.Transmit(true, &device, ReaderCardHandle, T1, Command, 5, recv, nullptr),
              SCARD_E_INVALID_PARAMETER);
    EXPECT_EQ(card.calls, "");
    EXPECT_TRUE(reader.CardNeedsReset());
    MakeReady();
    EXPECT_EQ(reader.Transmit(true, &device, 7, T1, Command, 5, recv, &recvLength),
              SCARD_E_READER_UNAVAILABLE);
    EXPECT_EQ(card.calls, "");
    EXPECT_FALSE(reader.CardNeedsReset());
    ExpectUntouched();
}

TEST_F(Transmit, NoOpenGraphIsUnexpectedForAnyArguments) {
    EXPECT_EQ(reader.Transmit(false, &device, ReaderCardHandle, T1, Command, 5, recv, &recvLength),
              SCARD_E_UNEXPECTED);
    EXPECT_EQ(reader.Transmit(false, nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr),
              SCARD_E_UNEXPECTED);
    EXPECT_EQ(reader.Transmit(true, nullptr, ReaderCardHandle, T1, Command, 5, recv, &recvLength),
              SCARD_E_UNEXPECTED);
    EXPECT_EQ(card.calls, "");
    ExpectUntouched();
}

TEST_F(Transmit, SuccessCodeOtherThanOkFailsTheCommandStep) {
    MakeReady();
    card.response.assign(512, 0x01);  // would read as 257 bytes if taken
    card.statusScript = {{S_OK, 1}, {S_FALSE, 0}};
    EXPECT_EQ(Send(), SCARD_E_UNEXPECTED);
    EXPECT_EQ(card.calls, "SS");  // nothing transmitted
    EXPECT_TRUE(reader.CardNeedsReset());
    ExpectUntouched();
}

TEST_F(Transmit, SuccessCodeOtherThanOkSkipsTheReset) {
    card.statusScript = {{S_OK, 1}, {S_FALSE, 0}, {S_OK, 1}};
    EXPECT_EQ(Send(), SCARD_S_SUCCESS);
    EXPECT_EQ(card.calls, "SSST");
    EXPECT_FALSE(reader.CardNeedsReset());
}

TEST_F(Transmit, ShortReceiveBufferGetsTheLengthOnly) {
    recvLength = 3;
    EXPECT_EQ(Send(), SCARD_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(recvLength, 4u);
    EXPECT_EQ(recv[0], 0xCC);
    EXPECT_FALSE(reader.CardNeedsReset());  // the card answered
    recvLength = 3;
    EXPECT_EQ(Send(), SCARD_E_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(reader.CardNeedsReset());
    EXPECT_EQ(card.calls, "SSRSTSST");
    EXPECT_EQ(Send(), SCARD_S_SUCCESS);  // 4 now fits exactly
    EXPECT_EQ(recv[3], 4);
    EXPECT_EQ(recv[4], 0xCC);
}

TEST_F(Transmit, EmptyAnswerIsSuccess) {
    card.response.clear();  // the device wrote nothing: the zeroed buffer says 0
    EXPECT_EQ(Send(), SCARD_S_SUCCESS);
    EXPECT_EQ(recvLength, 0u);
    EXPECT_EQ(recv[0], 0xCC);
}
