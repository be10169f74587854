#include "sim/SimCallText.h"

namespace {

DeviceCallItem Bytes(const std::vector<uint8_t>& bytes) {
    return DeviceCallItem::Of(bytes.data(), bytes.size());
}

uint32_t Value(const SimCall& call, size_t index) {
    return index < call.Values.size() ? call.Values[index] : 0;
}

uint32_t LittleEndian32(const std::vector<uint8_t>& bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && i < bytes.size(); ++i) value |= uint32_t{bytes[i]} << (8 * i);
    return value;
}

}  // namespace

bool SimCallText::ToDeviceCall(const SimCall& call, DeviceCall* line) {
    if (call.Op > SimOp::FactoryModeWriteManufacturerProductSerialNumber) return false;
    *line = DeviceCall();
    line->TimeMs = call.TimeMs;
    line->Operation = SimOpName(call.Op);
    line->Result = call.Result;
    const bool done = SUCCEEDED(call.Result);
    switch (call.Op) {
        case SimOp::SetFrequency:
        case SimOp::SetTuneRequest:
            line->In = {Bytes(call.Bytes)};
            break;
        case SimOp::GetSignalStatistics:
            if (done) line->Out = {Bytes(call.Bytes)};
            break;
        case SimOp::ReadRemoteControlKey:
            line->In = {DeviceCallItem::Of(Value(call, 0))};
            if (call.Result == S_OK && call.Bytes.size() == 3)
                line->Out = {DeviceCallItem::Of(call.Bytes[0] | uint32_t{call.Bytes[1]} << 8),
                             DeviceCallItem::Of(call.Bytes[2])};
            break;
        case SimOp::ResetCard:
            break;
        case SimOp::GetCardStatus:
            if (done) line->Out = {DeviceCallItem::Of(LittleEndian32(call.Bytes))};
            break;
        case SimOp::TransmitCardCommand:
            line->In = {Bytes(call.Bytes), DeviceCallItem::Of(Value(call, 1))};
            if (done) line->Out = {Bytes(call.Output)};
            break;
        case SimOp::SetPidFilterList:
            line->In = {DeviceCallItem::Of(Value(call, 0)), Bytes(call.Bytes)};
            break;
        default:
            for (uint32_t value : call.Values) line->In.push_back(DeviceCallItem::Of(value));
            break;
    }
    return true;
}

std::string SimCallText::Lines(const std::vector<SimCall>& calls) {
    std::string text;
    DeviceCall line;
    for (const SimCall& call : calls)
        if (ToDeviceCall(call, &line)) text += DeviceCallText::Format(line) + "\n";
    return text;
}
