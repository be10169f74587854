// The card state machine against a device whose every answer comes from the
// input: results, presence, how much of the response it writes and what.
// Each call's answers are drawn up front, so a model of the state table can
// predict the result, the device calls, the flag and the delivered bytes.
// The receive buffer is an exactly-sized heap block (ASan catches overruns).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "driver/SmartCardReader.h"
#include "graph/CardSteps.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

HRESULT PickResult(FuzzedDataProvider& input) {
    static const HRESULT results[] = {S_OK, S_OK, S_OK, S_FALSE, E_FAIL, E_UNEXPECTED, 2};
    return results[input.ConsumeIntegralInRange<size_t>(0, 6)];
}

struct StatusAnswer {
    HRESULT result = S_OK;
    bool writes = true;
    uint32_t present = 1;
};

struct Script {
    StatusAnswer status[3];
    HRESULT reset = S_OK;
    HRESULT transmit = S_OK;
    std::vector<uint8_t> response;  // what the device writes, from offset 0
};

Script DrawScript(FuzzedDataProvider& input) {
    Script script;
    for (auto& answer : script.status) {
        answer.result = PickResult(input);
        answer.writes = input.ConsumeIntegralInRange<int>(0, 7) != 0;
        answer.present = input.ConsumeIntegralInRange<int>(0, 3) == 0 ? 0 : input.ConsumeIntegral<uint32_t>() | 1;
    }
    script.reset = PickResult(input);
    script.transmit = PickResult(input);
    const size_t written = input.ConsumeIntegralInRange<size_t>(0, 512);
    script.response = input.ConsumeBytes<uint8_t>(written);
    if (script.response.size() >= 2 && input.ConsumeBool()) {
        // Favour lengths near the 510 limit.
        const uint32_t length = 505 + input.ConsumeIntegralInRange<uint32_t>(0, 10);
        script.response[0] = static_cast<uint8_t>(length >> 8);
        script.response[1] = static_cast<uint8_t>(length);
    }
    return script;
}

class ScriptedCard {
public:
    const Script* script = nullptr;
    int statusCalls = 0;
    std::string calls;

    HRESULT GetCardStatus(uint32_t* present) {
        calls += "S";
        Check(statusCalls < 3);
        const StatusAnswer& answer = script->status[statusCalls++];
        if (answer.writes) *present = answer.present;
        return answer.result;
    }
    HRESULT ResetCard() {
        calls += "R";
        return script->reset;
    }
    HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                uint32_t size) {
        calls += "T";
        Check(command != nullptr && length > 0 && size == CardResponseBufferSize);
        volatile uint8_t sink = command[length - 1];  // the command must be readable
        (void)sink;
        if (!script->response.empty())
            std::memcpy(response, script->response.data(), script->response.size());
        return script->transmit;
    }
};

struct Outcome {
    int32_t result = SCARD_S_SUCCESS;
    std::string calls;
    bool delivered = false;      // bytes copied into recv
    bool lengthStored = false;   // *recvLength written
    uint32_t length = 0;
    uint8_t response[CardResponseBufferSize] = {};
};

// The state table, step by step.
struct Model {
    bool needsReset = true;
    uint32_t present = 0;

    Outcome Exchange(const Script& script, uint32_t capacity) {
        Outcome out;
        out.calls = "S";
        if (script.status[0].writes) present = script.status[0].present;
        if (FAILED(script.status[0].result)) return Fail(out, needsReset);
        if (present == 0) return Fail(out, true);
        if (needsReset) {
            out.calls += "S";
            const StatusAnswer& status = script.status[1];
            const uint32_t local = status.writes ? status.present : 0;
            HRESULT step = status.result;
            if (step == S_OK) step = local == 0 ? E_FAIL : (out.calls += "R", script.reset);
            if (FAILED(step)) return Fail(out, true);
        }
        const StatusAnswer& status = script.status[needsReset ? 2 : 1];
        out.calls += "S";
        const uint32_t local = status.writes ? status.present : 0;
        HRESULT step = status.result == S_OK ? S_OK : E_FAIL;
        if (step == S_OK && local == 0) step = E_FAIL;
        if (step == S_OK) {
            out.calls += "T";
            step = script.transmit;
            if (!script.response.empty())
                std::memcpy(out.response, script.response.data(), script.response.size());
        }
        const uint32_t length = (uint32_t{out.response[0]} << 8) | out.response[1];
        if (FAILED(step) || length > 510) return Fail(out, true);
        needsReset = false;
        out.lengthStored = true;
        out.length = length;
        out.delivered = capacity >= length;
        out.result = out.delivered ? SCARD_S_SUCCESS : SCARD_E_INSUFFICIENT_BUFFER;
        return out;
    }
    Outcome Fail(Outcome& out, bool flag) {
        needsReset = flag;
        out.result = SCARD_E_UNEXPECTED;
        return out;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    SmartCardReader reader;
    Model model;
    ScriptedCard card;
    CheckedCardDevice<ScriptedCard> device(card);
    const uint8_t command[4] = {0x90, 0x32, 0, 0};
    const ScardDword pci[2] = {ProtocolT1, 8};
    const ScardDword badPci[2] = {ProtocolT0, 8};
    while (input.remaining_bytes() > 0) {
        const uint8_t argumentCase = input.ConsumeIntegralInRange<uint8_t>(0, 15);
        const uint32_t capacity = input.ConsumeIntegralInRange<uint32_t>(0, 600);
        const Script script = DrawScript(input);
        card.script = &script;
        card.statusCalls = 0;
        card.calls.clear();

        const size_t block = capacity == 0 ? 1 : capacity;
        std::unique_ptr<uint8_t[]> recv(new uint8_t[block]);
        std::memset(recv.get(), 0xA5, block);
        ScardDword recvLength = capacity;
        const bool wasReset = reader.CardNeedsReset();

        int32_t expected = 0;
        int32_t result = 0;
        switch (argumentCase) {
        case 0:
            expected = SCARD_E_UNEXPECTED;
            result = reader.Transmit(false, &device, ReaderCardHandle, pci, command, 4, recv.get(), &recvLength);
            break;
        case 1:
            expected = SCARD_E_READER_UNAVAILABLE;
            result = reader.Transmit(true, &device, ReaderCardHandle + 1, pci, command, 4, recv.get(), &recvLength);
            break;
        case 2:
            expected = SCARD_E_CARD_UNSUPPORTED;
            result = reader.Transmit(true, &device, ReaderCardHandle, badPci, command, 4, recv.get(), &recvLength);
            break;
        case 3:
            expected = SCARD_E_INVALID_PARAMETER;
            result = reader.Transmit(true, &device, ReaderCardHandle, pci, command, 0, recv.get(), &recvLength);
            break;
        case 4:
            expected = SCARD_E_INVALID_PARAMETER;
            result = reader.Transmit(true, &device, ReaderCardHandle, pci, command, 4, nullptr, &recvLength);
            break;
        default: {
            const Outcome out = model.Exchange(script, capacity);
            result = reader.Transmit(true, &device, ReaderCardHandle, pci, command, 4, recv.get(), &recvLength);
            Check(result == out.result);
            Check(card.calls == out.calls);
            Check(reader.CardNeedsReset() == model.needsReset);
            Check(recvLength == (out.lengthStored ? out.length : capacity));
            const uint32_t copied = out.delivered ? out.length : 0;
            Check(copied <= 510 && copied <= capacity);
            Check(std::memcmp(recv.get(), out.response + 2, copied) == 0);
            for (size_t i = copied; i < block; ++i) Check(recv[i] == 0xA5);
            continue;
        }
        }
        // Argument errors reach neither the device nor the state.
        Check(result == expected);
        Check(card.calls.empty());
        Check(reader.CardNeedsReset() == wasReset);
        Check(recvLength == capacity);
        for (size_t i = 0; i < block; ++i) Check(recv[i] == 0xA5);
    }
    return 0;
}
