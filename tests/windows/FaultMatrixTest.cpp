// Every device operation and every step of building the graph made to fail in
// turn, through the simulator's fault points (and, for the writer filter the
// driver creates itself, through the graph's writer factory). For each step:
// the call reports the failure, nothing the simulator counts is left alive,
// and the same step works once the fault is gone. One test prints the whole
// matrix, so a reader sees the coverage at a glance.
#include <winscard.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "filter/CTsWriter.h"
#include "graph/MyFilterGraph.h"
#include "platform/TesselExports.h"
#include "tests/windows/DriverHarness.h"

namespace {

struct Outcome {
    bool Reported = false;     // the call answered failure
    bool NothingLeft = false;  // no simulated filter or pin alive afterwards
    bool WorksAfter = false;   // the same step succeeds without the fault
};

class FaultMatrix : public DriverHarness {
protected:
    template <class Function>
    Function Export(const char* name) {
        return reinterpret_cast<Function>(
            reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    bool NothingAlive() const {
        for (SimObject kind : {SimObject::TunerFilter, SimObject::NetworkProvider,
                               SimObject::NullTerminal, SimObject::Pin})
            if (Alive(kind) != 0) return false;
        return true;
    }
    // The tuner streams: tuned and a chunk arrived.
    bool Streams(IBonDriver2* driver) {
        return driver->SetChannel(0u, 0u) &&
               WaitUntil([&] { return driver->GetReadyCount() > 0; }, 10000);
    }
    // A step of OpenTuner: it fails, leaves nothing, and opens (and streams)
    // once disarmed.
    Outcome OpenStep(IBonDriver2* driver, const std::function<void()>& arm,
                     const std::function<void()>& disarm) {
        Outcome outcome;
        arm();
        outcome.Reported = !driver->OpenTuner() && !driver->IsTunerOpening();
        outcome.NothingLeft = NothingAlive();
        disarm();
        outcome.WorksAfter = driver->OpenTuner() && Streams(driver);
        driver->CloseTuner();
        return outcome;
    }
    // An operation on the open tuner: `call` answers whether it succeeded.
    Outcome DeviceStep(IBonDriver2* driver, SimOp op, const std::function<bool()>& call) {
        Outcome outcome;
        Device()->ArmFault(op, E_FAIL, SimFaultAlways);
        outcome.Reported = !call() && Device()->FaultsFired(op) > 0;
        outcome.NothingLeft = driver->IsTunerOpening() == TRUE;  // the tuner stays as it was
        Device()->DisarmFaults();
        outcome.WorksAfter = call();
        return outcome;
    }

    std::vector<std::pair<std::string, Outcome>> rows_;
};

void Print(const std::vector<std::pair<std::string, Outcome>>& rows) {
    std::printf("\n%-54s %-9s %-13s %s\n", "step made to fail", "reported", "nothing left",
                "works after");
    for (const auto& row : rows)
        std::printf("%-54s %-9s %-13s %s\n", row.first.c_str(), row.second.Reported ? "yes" : "NO",
                    row.second.NothingLeft ? "yes" : "NO", row.second.WorksAfter ? "yes" : "NO");
}

CTsWriter* NoWriter(IUnknown*, HRESULT* result) {
    if (result != nullptr) *result = E_OUTOFMEMORY;
    return nullptr;
}

TEST_F(FaultMatrix, EveryStepAndOperationFailsCleanlyAndRecovers) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    driver->CloseTuner();
    SimDevice* tuner = Device();
    SimDevice* terminal = sim_->DefaultDevice();  // the null terminal's fault points
    const auto onTuner = [&](SimOp op) {
        return std::make_pair([=] { tuner->ArmFault(op, E_FAIL, SimFaultAlways); },
                              [=] { tuner->DisarmFaults(); });
    };
    // Building the graph.
    for (SimOp op : {SimOp::GetPinTypes, SimOp::CreatePin, SimOp::ConnectTunerInput,
                     SimOp::ConnectTunerOutput, SimOp::SetTunerMode,
                     SimOp::SetTransportStreanEncryptionFlag, SimOp::Pause}) {
        const auto fault = onTuner(op);
        rows_.push_back({std::string("open: ") + SimOpName(op),
                         OpenStep(driver, fault.first, fault.second)});
    }
    rows_.push_back({"open: tuner pin types != 2",
                     OpenStep(driver, [&] { tuner->SetPinTypeCount(3); },
                              [&] { tuner->SetPinTypeCount(2); })});
    rows_.push_back({"open: writer -> null terminal",
                     OpenStep(driver,
                              [&] { terminal->ArmFault(SimOp::ConnectTerminalInput, E_FAIL,
                                                       SimFaultAlways); },
                              [&] { terminal->DisarmFaults(); })});
    for (const GUID& clsid : {CLSID_SimNetworkProvider, CLSID_SimNullTerminal}) {
        const std::wstring key = L"CLSID\\" + SimRegistry::GuidText(clsid);
        rows_.push_back(
            {clsid == CLSID_SimNetworkProvider ? "open: load network provider"
                                               : "open: load null terminal",
             OpenStep(driver, [&] { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); },
                      [&] { SimRegistry::RegisterServer(HF_SIM_DLL); })});
    }
    // Tear-down: a filter that refuses to leave the graph, and a failed stop.
    for (SimOp op : {SimOp::LeaveGraph, SimOp::Stop}) {
        SimDevice* device = op == SimOp::LeaveGraph ? terminal : tuner;
        Outcome outcome;
        EXPECT_TRUE(driver->OpenTuner());
        device->ArmFault(op, E_FAIL, SimFaultAlways);
        driver->CloseTuner();
        outcome.Reported = device->FaultsFired(op) > 0 && !driver->IsTunerOpening();
        device->DisarmFaults();
        outcome.WorksAfter = driver->OpenTuner() && Streams(driver);
        driver->CloseTuner();
        outcome.NothingLeft = NothingAlive();
        rows_.push_back({std::string("close: ") + SimOpName(op), outcome});
    }
    // The device operations, on the open and tuned tuner.
    ASSERT_TRUE(driver->OpenTuner());
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    const auto key = Export<decltype(&TesselBonDriver_GetRemoteControlKey)>(
        "TesselBonDriver_GetRemoteControlKey");
    const auto check = Export<decltype(&TesselBonDriver_CheckLNBPowerCircuit)>(
        "TesselBonDriver_CheckLNBPowerCircuit");
    const auto setLnb = Export<decltype(&TesselBonDriver_SetLNBPower)>("TesselBonDriver_SetLNBPower");
    const auto getLnb = Export<decltype(&TesselBonDriver_GetLNBPower)>("TesselBonDriver_GetLNBPower");
    const auto factory = Export<decltype(&TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber)>(
        "TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber");
    const auto enable = Export<decltype(&TesselBonDriver_EnableDisableHardwarePidFilter)>(
        "TesselBonDriver_EnableDisableHardwarePidFilter");
    const auto addPids = Export<decltype(&TesselBonDriver_SetHardwarePidFilterAddPID)>(
        "TesselBonDriver_SetHardwarePidFilterAddPID");
    const auto transmit = Export<decltype(&SCardTransmit)>("SCardTransmit");
    ASSERT_TRUE(key && check && setLnb && getLnb && factory && enable && addPids && transmit);
    uint16_t nextPid = 0x0100;
    const auto cardAnswers = [&] {
        const BYTE command[4] = {0x90, 0x30, 0, 0};
        BYTE answer[64];
        DWORD length = sizeof answer;
        const SCARD_IO_REQUEST t1 = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
        return transmit(0x00600511, &t1, command, sizeof command, nullptr, answer, &length) ==
               SCARD_S_SUCCESS;
    };
    // The reset runs only for a card that needs one: after it was missing.
    const auto cardAfterAbsence = [&] {
        tuner->SetCardPresent(false);
        cardAnswers();
        tuner->SetCardPresent(true);
        return cardAnswers();
    };
    const std::pair<SimOp, std::function<bool()>> operations[] = {
        {SimOp::SetFrequency, [&] { return driver->SetChannel(0u, 1u) == TRUE; }},
        {SimOp::SetTuneRequest, [&] { return driver->SetChannel(0u, 2u) == TRUE; }},
        {SimOp::GetSignalStatistics, [&] { return driver->GetSignalLevel() != 0.0f; }},
        {SimOp::ReadRemoteControlKey, [&] { uint32_t c = 0xFFFF; uint8_t k = 0; return key(&c, &k) == 1; }},
        {SimOp::CheckLNBPowerCircuit, [&] { return check(1) == 1; }},
        {SimOp::SetLNBPower, [&] { return setLnb(1) == 1; }},
        {SimOp::GetLNBPower, [&] { return getLnb(0) == 1; }},
        {SimOp::FactoryModeWriteManufacturerProductSerialNumber, [&] { return factory(1, 2, 3) == 1; }},
        {SimOp::EnablePidFilter, [&] { return enable(0) == 1; }},
        {SimOp::SetPidFilterList, [&] { const uint16_t pid = nextPid++; return addPids(1, &pid) == 1; }},
        {SimOp::GetCardStatus, cardAnswers},
        {SimOp::ResetCard, cardAfterAbsence},
        {SimOp::TransmitCardCommand, cardAnswers},
    };
    for (const auto& operation : operations)
        rows_.push_back({std::string("call: ") + SimOpName(operation.first),
                         DeviceStep(driver, operation.first, operation.second)});
    ReleaseDriver();
    // The writer filter, which the driver creates itself: a graph built here
    // with a factory that fails.
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        Outcome outcome;
        {
            MyFilterGraph graph(&NoWriter);
            graph.SetTunerNames(DefaultName, tuners_.at(0).devicePath.c_str());
            outcome.Reported = FAILED(graph.AutoCreateMyDigitalTvFilterGraph()) && !graph.IsGraphOpen();
            outcome.NothingLeft = SUCCEEDED(graph.TearMyFilterGraph()) && NothingAlive();
        }
        {
            MyFilterGraph graph;
            graph.SetTunerNames(DefaultName, tuners_.at(0).devicePath.c_str());
            outcome.WorksAfter = graph.AutoCreateMyDigitalTvFilterGraph() == S_OK;
        }
        CoUninitialize();
        rows_.push_back({"open: create the writer filter", outcome});
    }
    Print(rows_);
    for (const auto& row : rows_) {
        EXPECT_TRUE(row.second.Reported) << row.first;
        EXPECT_TRUE(row.second.NothingLeft) << row.first;
        EXPECT_TRUE(row.second.WorksAfter) << row.first;
    }
    EXPECT_TRUE(NothingAlive());
}

}  // namespace
