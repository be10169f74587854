#include "driver/TunerAccess.h"

#include "driver/ProcessState.h"
#include "graph/MyFilterGraph.h"

namespace {

// Runs `operation(graph)` on the open graph, read without DriverLock; 0
// without one, else 1 for a success code.
template <class Operation>
int32_t OnOpenGraph(Operation operation) {
    MyFilterGraph* graph = OpenGraph();
    return graph != nullptr && SUCCEEDED(operation(*graph)) ? 1 : 0;
}

}  // namespace

int32_t TunerAccess::TransmitToCard(ScardHandle card, const void* sendPci, const uint8_t* send,
                                    ScardDword sendLength, uint8_t* recv,
                                    ScardDword* recvLength) {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return SCARD_E_UNEXPECTED;
    return ProcessCardReader.Transmit(true, graph, card, sendPci, send, sendLength, recv,
                                      recvLength);
}

int32_t TunerAccess::ReadRemoteKey(uint32_t* code, uint8_t* key) {
    return OnOpenGraph([&](MyFilterGraph& graph) {
        return graph.ReadRemoteControlKey(RemoteKeySelector, code, key);
    });
}

int32_t TunerAccess::CheckLnbPowerCircuit(uint32_t value) {
    return OnOpenGraph([&](MyFilterGraph& graph) { return graph.CheckLNBPowerCircuit(value); });
}

int32_t TunerAccess::SetLnbPower(uint32_t value) {
    const int32_t done = OnOpenGraph([&](MyFilterGraph& graph) { return graph.SetLNBPower(value); });
    if (done != 0) ProcessLnbPower.store(value);
    return done;
}

int32_t TunerAccess::GetLnbPower(uint32_t value) {
    return OnOpenGraph([&](MyFilterGraph& graph) { return graph.GetLNBPower(value); });
}

int32_t TunerAccess::FactoryWrite(uint32_t manufacturer, uint32_t product,
                                  uint32_t serialNumber) {
    return OnOpenGraph([&](MyFilterGraph& graph) {
        return graph.FactoryModeWriteManufacturerProductSerialNumber(manufacturer, product,
                                                                      serialNumber);
    });
}
