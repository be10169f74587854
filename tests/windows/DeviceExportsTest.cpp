// The five device exports, found by name on the driver DLL: nothing reaches
// the device without an open tuner, arguments pass through unchanged (the
// factory write's in its order), the remote read always asks with selector 3,
// and any success code counts as success.
#include <vector>

#include "platform/TesselExports.h"
#include "tests/windows/DriverHarness.h"

namespace {

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const SimOp DeviceOps[] = {SimOp::ReadRemoteControlKey, SimOp::CheckLNBPowerCircuit,
                           SimOp::SetLNBPower, SimOp::GetLNBPower,
                           SimOp::FactoryModeWriteManufacturerProductSerialNumber};

}  // namespace

class DeviceExports : public DriverHarness {
protected:
    void Bind() {
        ASSERT_NE(module_, nullptr);
        key_ = Export<decltype(&TesselBonDriver_GetRemoteControlKey)>(
            module_, "TesselBonDriver_GetRemoteControlKey");
        check_ = Export<decltype(&TesselBonDriver_CheckLNBPowerCircuit)>(
            module_, "TesselBonDriver_CheckLNBPowerCircuit");
        setLnb_ = Export<decltype(&TesselBonDriver_SetLNBPower)>(module_, "TesselBonDriver_SetLNBPower");
        getLnb_ = Export<decltype(&TesselBonDriver_GetLNBPower)>(module_, "TesselBonDriver_GetLNBPower");
        factory_ = Export<decltype(&TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber)>(
            module_, "TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber");
        ASSERT_TRUE(key_ && check_ && setLnb_ && getLnb_ && factory_);
    }
    // Calls all five once; returns their results in the order of DeviceOps.
    std::vector<int32_t> CallAll() {
        uint32_t code = 0xFFFF;
        uint8_t key = 0;
        return {key_(&code, &key), check_(1), setLnb_(1), getLnb_(1), factory_(1, 2, 3)};
    }
    SimCall Last(SimOp op) const {
        std::vector<SimCall> calls = Calls(op);
        return calls.empty() ? SimCall{} : calls.back();
    }

    decltype(&TesselBonDriver_GetRemoteControlKey) key_ = nullptr;
    decltype(&TesselBonDriver_CheckLNBPowerCircuit) check_ = nullptr;
    decltype(&TesselBonDriver_SetLNBPower) setLnb_ = nullptr;
    decltype(&TesselBonDriver_GetLNBPower) getLnb_ = nullptr;
    decltype(&TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber) factory_ = nullptr;
};

TEST_F(DeviceExports, WithoutAnOpenTunerNothingReachesTheDevice) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    Bind();
    EXPECT_EQ(CallAll(), (std::vector<int32_t>{0, 0, 0, 0, 0}));
    ASSERT_TRUE(driver->OpenTuner());
    driver->CloseTuner();
    EXPECT_EQ(CallAll(), (std::vector<int32_t>{0, 0, 0, 0, 0}));
    driver->Release();
    driver_ = nullptr;  // CurrentGraph is gone too
    EXPECT_EQ(CallAll(), (std::vector<int32_t>{0, 0, 0, 0, 0}));
    for (SimOp op : DeviceOps) EXPECT_EQ(sim_->CallLog()->Count(op), 0u) << SimOpName(op);
}

TEST_F(DeviceExports, WithAnOpenTunerEachReachesItsOperation) {
    OpenDefault();
    Bind();
    Device()->ScriptRemoteKeys({SimRemoteKey{S_OK, 0x2010, 0x1A}});
    EXPECT_EQ(CallAll(), (std::vector<int32_t>{1, 1, 1, 1, 1}));
    for (SimOp op : DeviceOps) EXPECT_EQ(sim_->CallLog()->Count(op), 1u) << SimOpName(op);
    // Each failing operation gives 0.
    for (SimOp op : DeviceOps) Device()->ArmFault(op, E_FAIL, 1);
    EXPECT_EQ(CallAll(), (std::vector<int32_t>{0, 0, 0, 0, 0}));
    // Success codes other than S_OK give 1.
    for (SimOp op : DeviceOps) Device()->ArmFault(op, S_FALSE, 1);
    EXPECT_EQ(CallAll(), (std::vector<int32_t>{1, 1, 1, 1, 1}));
}

TEST_F(DeviceExports, RemoteKeyReadPassesSelectorThreeAndTheDevicesAnswer) {
    OpenDefault();
    Bind();
    Device()->ScriptRemoteKeys({SimRemoteKey{S_OK, 0x2010, 0x42}, SimRemoteKey{S_OK, 0x1234, 0x07},
                                SimRemoteKey{E_FAIL, 0x2010, 0x55}});
    uint32_t code = 0xABCD0000u;
    uint8_t key = 0;
    EXPECT_EQ(key_(&code, &key), 1);
    EXPECT_EQ(code, 0xABCD2010u);  // the device fills the low 16 bits only
    EXPECT_EQ(key, 0x42);
    EXPECT_EQ(key_(&code, &key), 1);  // another remote's code is the caller's business
    EXPECT_EQ(code & 0xFFFF, 0x1234u);
    EXPECT_EQ(key, 0x07);
    EXPECT_EQ(key_(&code, &key), 0);
    EXPECT_EQ(key, 0x07);  // untouched on failure
    code = 0xFFFF;
    EXPECT_EQ(key_(&code, &key), 1);  // empty script: S_FALSE, outputs untouched
    EXPECT_EQ(code, 0xFFFFu);
    for (const SimCall& call : Calls(SimOp::ReadRemoteControlKey))
        EXPECT_EQ(call.Values, (std::vector<uint32_t>{3}));
    EXPECT_EQ(Calls(SimOp::ReadRemoteControlKey).size(), 4u);
}

TEST_F(DeviceExports, LnbAndFactoryArgumentsPassThroughInOrder) {
    OpenDefault();
    Bind();
    EXPECT_EQ(setLnb_(0x15), 1);
    EXPECT_EQ(Device()->State().LnbPowerValue, 0x15u);
    EXPECT_EQ(getLnb_(0x77), 1);
    EXPECT_EQ(Last(SimOp::GetLNBPower).Values, (std::vector<uint32_t>{0x77}));
    EXPECT_EQ(Last(SimOp::GetLNBPower).Result, S_OK);
    EXPECT_EQ(setLnb_(0), 1);
    EXPECT_EQ(getLnb_(0), 1);  // the device answers S_FALSE while off
    EXPECT_EQ(Last(SimOp::GetLNBPower).Result, S_FALSE);
    EXPECT_EQ(check_(0x99), 1);
    EXPECT_EQ(Last(SimOp::CheckLNBPowerCircuit).Values, (std::vector<uint32_t>{0x99}));
    EXPECT_EQ(Device()->State().LnbCircuitChecks, 1u);
    EXPECT_EQ(factory_(0x11111111, 0x22222222, 0x33333333), 1);
    EXPECT_EQ(Last(SimOp::FactoryModeWriteManufacturerProductSerialNumber).Values,
              (std::vector<uint32_t>{0x11111111, 0x22222222, 0x33333333}));
    const SimDeviceState state = Device()->State();
    EXPECT_TRUE(state.FactoryWritten);
    EXPECT_EQ(state.Manufacturer, 0x11111111u);
    EXPECT_EQ(state.Product, 0x22222222u);
    EXPECT_EQ(state.SerialNumber, 0x33333333u);
}
