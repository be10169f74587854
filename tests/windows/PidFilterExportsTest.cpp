// The four hardware PID-filter exports, found by name on the driver DLL and
// called with the caller-cleans convention: the lists the device receives
// (from the simulator's call log), reference counts, the full map, switching
// on and off, the reset after a successful tune, device failures, the mended
// arguments, and end to end the TS that then reaches the host.
#include <set>
#include <vector>

#include "platform/TesselExports.h"
#include "ts/TsStreamChecker.h"
#include "tests/windows/DriverHarness.h"

namespace {

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// One SetPidFilterList call as the device saw it.
struct SentList {
    uint32_t Count = 0;
    std::vector<uint16_t> Pids;
};

SentList Decode(const SimCall& call) {
    SentList sent;
    sent.Count = call.Values.at(0);
    for (size_t i = 0; i + 1 < call.Bytes.size(); i += 2)
        sent.Pids.push_back(static_cast<uint16_t>(call.Bytes[i] | (call.Bytes[i + 1] << 8)));
    return sent;
}

constexpr uint16_t NullPid = 0x1FFF;
constexpr uint16_t OnPid = 0x1EEE;

}  // namespace

class PidFilterExports : public DriverHarness {
protected:
    void Bind() {
        ASSERT_NE(module_, nullptr);
        enable_ = Export<decltype(&TesselBonDriver_EnableDisableHardwarePidFilter)>(
            module_, "TesselBonDriver_EnableDisableHardwarePidFilter");
        reset_ = Export<decltype(&TesselBonDriver_ResetHardwarePidFilter)>(
            module_, "TesselBonDriver_ResetHardwarePidFilter");
        add_ = Export<decltype(&TesselBonDriver_SetHardwarePidFilterAddPID)>(
            module_, "TesselBonDriver_SetHardwarePidFilterAddPID");
        remove_ = Export<decltype(&TesselBonDriver_SetHardwarePidFilterRemovePID)>(
            module_, "TesselBonDriver_SetHardwarePidFilterRemovePID");
        ASSERT_TRUE(enable_ && reset_ && add_ && remove_);
    }
    // Open tuner, functions bound, map reset through the export, log empty.
    IBonDriver2* OpenAndReset() {
        IBonDriver2* driver = OpenDefault();
        Bind();
        EXPECT_EQ(reset_(), 1);
        sim_->CallLog()->Clear();
        return driver;
    }
    int32_t Add(std::vector<uint16_t> pids) {
        return add_(static_cast<uint8_t>(pids.size()), pids.data());
    }
    int32_t Remove(std::vector<uint16_t> pids) {
        return remove_(static_cast<uint8_t>(pids.size()), pids.data());
    }
    size_t Sends() const { return sim_->CallLog()->Count(SimOp::SetPidFilterList); }
    SentList LastSent() const {
        std::vector<SimCall> calls = Calls(SimOp::SetPidFilterList);
        return calls.empty() ? SentList{} : Decode(calls.back());
    }

    decltype(&TesselBonDriver_EnableDisableHardwarePidFilter) enable_ = nullptr;
    decltype(&TesselBonDriver_ResetHardwarePidFilter) reset_ = nullptr;
    decltype(&TesselBonDriver_SetHardwarePidFilterAddPID) add_ = nullptr;
    decltype(&TesselBonDriver_SetHardwarePidFilterRemovePID) remove_ = nullptr;
};

TEST_F(PidFilterExports, WithoutAnOpenTunerAllFourAnswerZeroAndTouchNothing) {
    WriteDefaultIni();
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    Bind();
    const uint16_t pid = 0x0100;
    EXPECT_EQ(reset_(), 0);
    EXPECT_EQ(add_(1, &pid), 0);
    EXPECT_EQ(remove_(1, &pid), 0);
    EXPECT_EQ(enable_(1), 0);
    ASSERT_TRUE(driver->OpenTuner());
    driver->CloseTuner();
    EXPECT_EQ(reset_(), 0);
    EXPECT_EQ(enable_(0), 0);
    EXPECT_EQ(Sends(), 0u);
    EXPECT_EQ(sim_->CallLog()->Count(SimOp::EnablePidFilter), 0u);
    // The closed tuner changed nothing: once open again, the map is still in
    // its load state, where an add finds no free slot and sends nothing.
    ASSERT_TRUE(driver->OpenTuner());
    EXPECT_EQ(add_(1, &pid), 1);
    EXPECT_EQ(Sends(), 0u);
}

TEST_F(PidFilterExports, ResetSendsTheNullPacketPidAlone) {
    OpenDefault();
    Bind();
    EXPECT_EQ(reset_(), 1);
    ASSERT_EQ(Sends(), 1u);
    EXPECT_EQ(LastSent().Count, 1u);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid}));
    EXPECT_EQ(Device()->State().PidList, (std::vector<uint16_t>{NullPid}));
}

TEST_F(PidFilterExports, BeforeTheFirstResetAnAddPlacesNothing) {
    OpenDefault();
    Bind();
    EXPECT_EQ(Add({0x0100, 0x0000}), 1);  // every slot holds PID 0 at load
    EXPECT_EQ(Sends(), 0u);
}

TEST_F(PidFilterExports, AddedPidsFollowTheResetPidInSlotOrder) {
    OpenAndReset();
    EXPECT_EQ(Add({0x0100, 0x0111}), 1);
    ASSERT_EQ(Sends(), 1u);
    EXPECT_EQ(LastSent().Count, 3u);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0100, 0x0111}));
    // A freed slot is taken by the next new PID: slot order, not add order.
    EXPECT_EQ(Remove({0x0100}), 1);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0111}));
    EXPECT_EQ(Add({0x0200}), 1);
    EXPECT_EQ(LastSent().Count, 3u);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0200, 0x0111}));
    EXPECT_EQ(Sends(), 3u);
}

TEST_F(PidFilterExports, ReferenceCountsKeepASharedPidUntilItsLastRemove) {
    OpenAndReset();
    EXPECT_EQ(Add({0x0100}), 1);
    EXPECT_EQ(Sends(), 1u);
    EXPECT_EQ(Add({0x0100, 0x0100}), 1);  // count 3, no change of the set
    EXPECT_EQ(Remove({0x0100}), 1);
    EXPECT_EQ(Remove({0x0100}), 1);
    EXPECT_EQ(Sends(), 1u);
    EXPECT_EQ(Remove({0x0100}), 1);  // the last reference
    ASSERT_EQ(Sends(), 2u);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid}));
    EXPECT_EQ(Remove({0x0100, 0x0555}), 1);  // not in the map: nothing to send
    EXPECT_EQ(Add({}), 1);
    EXPECT_EQ(Sends(), 2u);
}

TEST_F(PidFilterExports, RemovingTheResetPidSendsAnEmptyList) {
    OpenAndReset();
    EXPECT_EQ(Remove({NullPid}), 1);
    ASSERT_EQ(Sends(), 1u);
    EXPECT_EQ(LastSent().Count, 0u);
    EXPECT_TRUE(LastSent().Pids.empty());
    EXPECT_EQ(Remove({NullPid}), 1);  // the map is empty: ignored
    EXPECT_EQ(Sends(), 1u);
}

TEST_F(PidFilterExports, AFullMapTakesNoMoreReferences) {
    OpenAndReset();
    std::vector<uint16_t> pids;
    for (uint16_t i = 0; i < 31; ++i) pids.push_back(static_cast<uint16_t>(0x0100 + i));
    EXPECT_EQ(Add(pids), 1);
    ASSERT_EQ(LastSent().Count, 32u);
    EXPECT_EQ(LastSent().Pids.front(), NullPid);
    EXPECT_EQ(LastSent().Pids.back(), 0x011E);
    // Full: neither a new PID nor a held one changes anything.
    EXPECT_EQ(Add({0x0400, 0x0100}), 1);
    EXPECT_EQ(Sends(), 1u);
    // 0x0100 took no second reference above, so one remove frees its slot,
    // and the next new PID goes there.
    EXPECT_EQ(Remove({0x0100}), 1);
    EXPECT_EQ(LastSent().Count, 31u);
    EXPECT_EQ(Add({0x0400}), 1);
    ASSERT_EQ(LastSent().Count, 32u);
    EXPECT_EQ(LastSent().Pids[1], 0x0400);
}

TEST_F(PidFilterExports, SwitchingOnSendsTheOnListAndLeavesTheMapAlone) {
    OpenAndReset();
    EXPECT_EQ(Add({0x0100}), 1);
    sim_->CallLog()->Clear();
    EXPECT_EQ(enable_(5), 1);
    std::vector<SimCall> log = sim_->CallLog()->Entries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].Op, SimOp::EnablePidFilter);
    EXPECT_EQ(log[0].Values, (std::vector<uint32_t>{5}));  // passed unchanged
    EXPECT_EQ(log[1].Op, SimOp::SetPidFilterList);
    EXPECT_EQ(Decode(log[1]).Pids, (std::vector<uint16_t>{OnPid}));
    EXPECT_TRUE(Device()->State().PidFilterOn);
    // The next change sends the whole map again, 0x0100 included.
    EXPECT_EQ(Add({0x0111}), 1);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0100, 0x0111}));
    sim_->CallLog()->Clear();
    EXPECT_EQ(enable_(0), 1);
    log = sim_->CallLog()->Entries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Op, SimOp::EnablePidFilter);
    EXPECT_FALSE(Device()->State().PidFilterOn);
}

TEST_F(PidFilterExports, DeviceFailuresAnswerZeroAndKeepTheMap) {
    OpenAndReset();
    Device()->ArmFault(SimOp::EnablePidFilter, E_FAIL, 1);
    EXPECT_EQ(enable_(1), 0);
    EXPECT_EQ(Sends(), 0u);  // no list after a refused switch
    Device()->ArmFault(SimOp::SetPidFilterList, E_FAIL, 1);
    EXPECT_EQ(enable_(1), 0);
    Device()->ArmFault(SimOp::SetPidFilterList, E_FAIL, 1);
    EXPECT_EQ(Add({0x0100}), 0);
    // No roll-back: the next change sends 0x0100 too, repairing the device.
    EXPECT_EQ(Add({0x0111}), 1);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0100, 0x0111}));
    Device()->ArmFault(SimOp::SetPidFilterList, E_FAIL, 1);
    EXPECT_EQ(reset_(), 0);
    EXPECT_EQ(Add({0x0200}), 1);  // the map was reset all the same
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0200}));
    // A success code other than S_OK is success.
    Device()->ArmFault(SimOp::SetPidFilterList, S_FALSE, 1);
    EXPECT_EQ(Remove({0x0200}), 1);
}

TEST_F(PidFilterExports, EmptySlotMarkerAndNullListAreRefusedHarmlessly) {
    OpenAndReset();
    EXPECT_EQ(Add({0xFFFF, 0x0100, 0xFFFF}), 1);
    ASSERT_EQ(Sends(), 1u);
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0100}));
    EXPECT_EQ(Remove({0xFFFF}), 1);  // no slot is emptied by the marker
    EXPECT_EQ(Sends(), 1u);
    EXPECT_EQ(add_(3, nullptr), 0);
    EXPECT_EQ(remove_(3, nullptr), 0);
    EXPECT_EQ(add_(0, nullptr), 1);
    EXPECT_EQ(Sends(), 1u);
    EXPECT_EQ(Remove({0x0100}), 1);  // the map still holds exactly the one reference
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid}));
}

TEST_F(PidFilterExports, EverySuccessfulTuneResetsTheMapAndNoFailedOneDoes) {
    IBonDriver2* driver = OpenAndReset();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(Add({0x0100}), 1);
    sim_->CallLog()->Clear();
    ASSERT_TRUE(driver->SetChannel(0u, 1u));
    std::vector<SimCall> log = sim_->CallLog()->Entries();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].Op, SimOp::SetTuneRequest);
    EXPECT_EQ(log[2].Op, SimOp::SetPidFilterList);  // after the tune
    EXPECT_EQ(Decode(log[2]).Pids, (std::vector<uint16_t>{NullPid}));
    ASSERT_TRUE(driver->SetChannel(static_cast<BYTE>(2)));  // the one-argument form too
    EXPECT_EQ(Sends(), 2u);
    EXPECT_EQ(Add({0x0111}), 1);  // 0x0100 is gone with the reset
    EXPECT_EQ(LastSent().Pids, (std::vector<uint16_t>{NullPid, 0x0111}));

    sim_->CallLog()->Clear();
    Device()->ArmFault(SimOp::SetTuneRequest, E_FAIL, 1);
    EXPECT_FALSE(driver->SetChannel(0u, 3u));
    EXPECT_FALSE(driver->SetChannel(0u, 9999u));
    Device()->ArmFault(SimOp::SetFrequency, E_FAIL, 1);
    EXPECT_FALSE(driver->SetChannel(static_cast<BYTE>(3)));
    EXPECT_EQ(Sends(), 0u);
    // A reset that fails does not undo the tune.
    Device()->ArmFault(SimOp::SetPidFilterList, E_FAIL, 1);
    EXPECT_TRUE(driver->SetChannel(0u, 4u));
    EXPECT_EQ(Sends(), 1u);
}

TEST_F(PidFilterExports, TheRecordedStreamHoldsOnlyTheListedPids) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    Bind();
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_EQ(enable_(1), 1);
    ASSERT_EQ(Add({0x0100, 0x0111}), 1);
    // Let what was under way before the change pass, then start afresh.
    const uint64_t before = Device()->State().TsBytesDelivered;
    ASSERT_TRUE(WaitUntil([&] { return Device()->State().TsBytesDelivered > before + 2 * 192512; },
                          20000));
    driver->PurgeTsStream();
    TsStreamChecker checker;
    int chunks = 0;
    for (int round = 0; round < 300 && chunks < 4; ++round) {
        driver->WaitTsStream(100);
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        while (driver->GetTsStream(&data, &size, &remaining)) {
            if (chunks++ > 0) checker.Feed(data, size);  // the first may hold older bytes
        }
    }
    ASSERT_GE(chunks, 4);
    const std::vector<uint16_t> pids = checker.Pids();
    const std::set<uint16_t> seen(pids.begin(), pids.end());
    EXPECT_TRUE(seen.count(0x0111));
    for (uint16_t pid : seen)
        EXPECT_TRUE(pid == NullPid || pid == 0x0100 || pid == 0x0111) << "PID " << pid;
    EXPECT_EQ(checker.SyncLosses(), 0u);
}
