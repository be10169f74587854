// The simulated tuner device: tunes resolve against the channel plan, every
// call is logged by value and in order, faults fire exactly as armed, and the
// card, remote, LNB, factory and PID filter behave as the driver's tests
// expect; each way it can misbehave (unplugged, replugged, stalled, no
// signal, aborted) changes it as a real tuner does. Ends with a concurrency
// smoke test (also run under TSan).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "channels/ChannelPlan.h"
#include "sim/SimState.h"
#include "ts/TsGenerator.h"
#include "ts/TsStreamChecker.h"

namespace {

const WideChar* const Path = WIDE("\\\\?\\usb#vid_0511&pid_0045#sim0001#{fd0a5af4-b41d-11d2-9c95-00c04f7971e0}");

TuneRequest Request(Network network, uint32_t space, uint32_t channel) {
    TuneRequest request{};
    FillTuneRequest(network, space, *LookupChannel(network, space, channel), &request);
    return request;
}

HRESULT Tune(SimDevice& device, const TuneRequest& request) {
    const HRESULT hr = device.SetFrequency(&request.Tail);
    return FAILED(hr) ? hr : device.SetTuneRequest(&request);
}

TsStreamChecker Read(SimDevice& device, size_t bytes) {
    std::vector<uint8_t> buffer(bytes);
    const size_t got = device.ReadTs(buffer.data(), buffer.size());
    TsStreamChecker checker;
    checker.Feed(buffer.data(), got);
    return checker;
}

class SimDeviceTest : public ::testing::Test {
protected:
    SimState sim;
    SimDevice& device = *sim.Device(Path);
};

}  // namespace

// ---- tuning -----------------------------------------------------------------

TEST_F(SimDeviceTest, TerrestrialTuneDeliversTheChannelsStream) {
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));  // 13ch, 473143 kHz
    const SimDeviceState state = device.State();
    ASSERT_TRUE(state.HasChannel);
    EXPECT_EQ(0u, state.Channel.Space);
    EXPECT_EQ(0x71D9, state.Channel.Tsid);

    const TsStreamChecker checker = Read(device, 188 * 400);
    EXPECT_EQ(400u, checker.Packets());
    EXPECT_TRUE(checker.Clean());
    EXPECT_EQ(0x71D9, checker.PatTsid());
    EXPECT_EQ("地デジ試験 13ch", checker.ServiceName());
}

TEST_F(SimDeviceTest, CableRowsResolveToo) {
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 1, 7)));  // C08ch, 195143 kHz
    EXPECT_EQ("ケーブル試験 C08ch", Read(device, 188 * 10).ServiceName());
}

TEST_F(SimDeviceTest, SatelliteTuneSelectsTheRowByTsid) {
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbS, 0, 7)));  // BS7/TS1, 0x4671
    TsStreamChecker checker = Read(device, 188 * 10);
    EXPECT_EQ(0x4671, checker.PatTsid());
    EXPECT_EQ("ＢＳ試験 BS7/TS1", checker.ServiceName());

    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbS, 1, 11)));  // ND24
    checker = Read(device, 188 * 10);
    EXPECT_EQ(0x7180, checker.PatTsid());
    EXPECT_EQ("ＣＳ試験 ND24", checker.ServiceName());
}

TEST_F(SimDeviceTest, TunesOutsideThePlanDeliverNothing) {
    TuneRequest offByOne = Request(Network::IsdbT, 0, 5);
    offByOne.Tail.Frequency += 1;
    TuneRequest wrongTsid = Request(Network::IsdbS, 0, 0);
    wrongTsid.Tsid = 0x4011 + 0x10000;  // high half must be zero
    TuneRequest wrongBandwidth = Request(Network::IsdbS, 1, 3);
    wrongBandwidth.Tail.Bandwidth = 6;
    TuneRequest wrongSystem = Request(Network::IsdbS, 0, 0);
    wrongSystem.SystemType = SystemTypeIsdbSCs110;  // BS row asked for as CS110

    for (const TuneRequest& request : {offByOne, wrongTsid, wrongBandwidth, wrongSystem}) {
        ASSERT_EQ(S_OK, Tune(device, request));  // the device accepts; it just finds nothing
        EXPECT_FALSE(device.State().HasChannel);
        uint8_t buffer[188 * 4];
        EXPECT_EQ(0u, device.ReadTs(buffer, sizeof(buffer)));
        SignalStatistics statistics;
        std::memset(&statistics, 0x5A, sizeof(statistics));
        EXPECT_EQ(S_OK, device.GetSignalStatistics(&statistics));
        EXPECT_EQ(0, statistics.Level);
        EXPECT_EQ(0, statistics.LevelHundredths);
    }
}

TEST_F(SimDeviceTest, SetFrequencyAloneDoesNotTune) {
    const TuneRequest request = Request(Network::IsdbT, 0, 1);
    EXPECT_EQ(S_OK, device.SetFrequency(&request.Tail));
    const SimDeviceState state = device.State();
    EXPECT_TRUE(state.HasPendingFrequency);
    EXPECT_EQ(479143u, state.PendingFrequency.Frequency);
    EXPECT_FALSE(state.HasTune);
    uint8_t buffer[188];
    EXPECT_EQ(0u, device.ReadTs(buffer, sizeof(buffer)));
}

TEST_F(SimDeviceTest, RetuneCompletesThePacketUnderWay) {
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));
    std::vector<uint8_t> stream(100);
    ASSERT_EQ(100u, device.ReadTs(stream.data(), 100));
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 1)));
    stream.resize(100 + 188 * 5);
    ASSERT_EQ(188u * 5, device.ReadTs(stream.data() + 100, 188 * 5));
    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    EXPECT_EQ(0u, checker.SyncLosses());
    // The old packet (13ch's PAT) completed, then 14ch from its first packet.
    EXPECT_EQ(5u, checker.Packets());
    EXPECT_EQ(100u, checker.PartialBytes());
    EXPECT_EQ(0x71DF, checker.PatTsid());
    EXPECT_EQ(2u, checker.Pid(0x0000)->Packets);
}

// ---- signal -----------------------------------------------------------------

TEST_F(SimDeviceTest, DefaultSignalUsesEachNetworksEncoding) {
    SignalStatistics statistics{};
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbS, 0, 4)));
    ASSERT_EQ(S_OK, device.GetSignalStatistics(&statistics));
    EXPECT_LT(statistics.Level, 0);
    EXPECT_EQ(0, statistics.Level % 656);
    const int32_t shown = statistics.Level / 656 + 99;
    EXPECT_GE(shown, 12);
    EXPECT_LE(shown, 21);
    EXPECT_EQ(1, statistics.Leading[0]);

    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 4)));
    ASSERT_EQ(S_OK, device.GetSignalStatistics(&statistics));
    EXPECT_GE(statistics.Level, 18);
    EXPECT_LE(statistics.Level, 32);
    EXPECT_GE(statistics.LevelHundredths, 0);
    EXPECT_LT(statistics.LevelHundredths, 100);
}

TEST_F(SimDeviceTest, SignalOverrideAppliesToItsChannelOnly) {
    device.SetSignal(WIDE("BS1/TS0"), -656, 50);
    SignalStatistics statistics{};
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbS, 0, 0)));
    ASSERT_EQ(S_OK, device.GetSignalStatistics(&statistics));
    EXPECT_EQ(-656, statistics.Level);
    EXPECT_EQ(50, statistics.LevelHundredths);

    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbS, 0, 1)));
    ASSERT_EQ(S_OK, device.GetSignalStatistics(&statistics));
    EXPECT_NE(-656, statistics.Level);

    device.ClearSignalOverrides();
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbS, 0, 0)));
    ASSERT_EQ(S_OK, device.GetSignalStatistics(&statistics));
    EXPECT_NE(-656, statistics.Level);
}

// ---- call log -----------------------------------------------------------------

TEST_F(SimDeviceTest, CallLogKeepsArgumentsByValueInOrder) {
    TuneRequest request = Request(Network::IsdbS, 0, 0);
    ASSERT_EQ(S_OK, Tune(device, request));
    const TuneRequest sent = request;
    std::memset(&request, 0xEE, sizeof(request));  // the caller's buffer is gone
    const uint16_t pids[3] = {0x1FFF, 0x0100, 0x0111};
    device.SetPidFilterList(3, pids);
    sim.Device(WIDE("other"))->SetTunerMode(3);
    device.FactoryModeWriteManufacturerProductSerialNumber(1, 2, 3);

    const std::vector<SimCall> calls = sim.CallLog()->Entries();
    ASSERT_EQ(5u, calls.size());
    EXPECT_EQ(SimOp::SetFrequency, calls[0].Op);
    ASSERT_EQ(12u, calls[0].Bytes.size());
    EXPECT_EQ(0, std::memcmp(calls[0].Bytes.data(), &sent.Tail, 12));
    EXPECT_EQ(SimOp::SetTuneRequest, calls[1].Op);
    ASSERT_EQ(64u, calls[1].Bytes.size());
    EXPECT_EQ(0, std::memcmp(calls[1].Bytes.data(), &sent, 64));
    EXPECT_EQ((std::vector<uint32_t>{3}), calls[2].Values);
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0x1F, 0x00, 0x01, 0x11, 0x01}), calls[2].Bytes);
    EXPECT_EQ(SimText(WIDE("other")), calls[3].Device);
    EXPECT_EQ(SimText(Path), calls[2].Device);
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3}), calls[4].Values);
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i].Sequence, calls[i - 1].Sequence);

    EXPECT_EQ(1u, sim.CallLog()->Count(SimOp::SetTuneRequest));
    EXPECT_EQ(1u, sim.CallLog()->Find(SimOp::SetTunerMode).size());
    sim.CallLog()->Clear();
    EXPECT_EQ(0u, sim.CallLog()->Size());
    device.SetTunerMode(3);
    EXPECT_GT(sim.CallLog()->Entries()[0].Sequence, calls.back().Sequence);
}

TEST_F(SimDeviceTest, PidListIsCappedAtThirtyTwo) {
    std::vector<uint16_t> pids(40);
    for (size_t i = 0; i < pids.size(); ++i) pids[i] = static_cast<uint16_t>(0x100 + i);
    EXPECT_EQ(S_OK, device.SetPidFilterList(40, pids.data()));
    EXPECT_EQ(32u, device.State().PidList.size());
    const SimCall call = sim.CallLog()->Find(SimOp::SetPidFilterList).back();
    EXPECT_EQ(40u, call.Values[0]);
    EXPECT_EQ(64u, call.Bytes.size());
    EXPECT_EQ(E_POINTER, device.SetPidFilterList(2, nullptr));
}

// ---- faults -------------------------------------------------------------------

TEST_F(SimDeviceTest, FailureFaultFiresExactlyNTimesAndSkipsTheOperation) {
    device.ArmFault(SimOp::SetFrequency, E_FAIL, 2);
    const TuneRequest request = Request(Network::IsdbT, 0, 0);
    EXPECT_EQ(E_FAIL, device.SetFrequency(&request.Tail));
    EXPECT_EQ(E_FAIL, device.SetFrequency(&request.Tail));
    EXPECT_FALSE(device.State().HasPendingFrequency);
    EXPECT_EQ(S_OK, device.SetFrequency(&request.Tail));
    EXPECT_TRUE(device.State().HasPendingFrequency);
    EXPECT_EQ(2u, device.FaultsFired(SimOp::SetFrequency));
    EXPECT_EQ(0u, device.FaultsFired(SimOp::SetTuneRequest));

    const std::vector<SimCall> calls = sim.CallLog()->Find(SimOp::SetFrequency);
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(E_FAIL, calls[0].Result);
    EXPECT_EQ(12u, calls[0].Bytes.size());  // logged even when failed
    EXPECT_EQ(S_OK, calls[2].Result);
}

TEST_F(SimDeviceTest, SuccessFaultPerformsTheOperation) {
    device.ArmFault(SimOp::SetTuneRequest, S_FALSE, 1);
    EXPECT_EQ(S_FALSE, Tune(device, Request(Network::IsdbT, 0, 2)));
    EXPECT_TRUE(device.State().HasChannel);

    device.ArmFault(SimOp::GetCardStatus, S_FALSE, 1);
    uint32_t present = 7;
    EXPECT_EQ(S_FALSE, device.GetCardStatus(&present));
    EXPECT_EQ(1u, present);
}

TEST_F(SimDeviceTest, AlwaysFaultHoldsUntilDisarmed) {
    device.ArmFault(SimOp::SetTunerMode, E_UNEXPECTED, SimFaultAlways);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(E_UNEXPECTED, device.SetTunerMode(3));
    EXPECT_EQ(5u, device.FaultsFired(SimOp::SetTunerMode));
    device.DisarmFaults();
    EXPECT_EQ(S_OK, device.SetTunerMode(3));
    EXPECT_EQ(3u, device.State().TunerMode);
}

TEST_F(SimDeviceTest, FilterFaultPointsAreLoggedAndArmable) {
    EXPECT_EQ(S_OK, device.CheckFilterFault(SimOp::Run));
    device.ArmFault(SimOp::Pause, E_FAIL, 1);
    EXPECT_EQ(E_FAIL, device.CheckFilterFault(SimOp::Pause));
    EXPECT_EQ(S_OK, device.CheckFilterFault(SimOp::Pause));
    EXPECT_EQ(2u, sim.CallLog()->Count(SimOp::Pause));
    EXPECT_EQ(1u, sim.CallLog()->Count(SimOp::Run));
}

// ---- remote -------------------------------------------------------------------

TEST_F(SimDeviceTest, RemoteScriptIsConsumedOnePerRead) {
    uint32_t code = 0xABCD0000u;
    uint8_t key = 0x11;
    EXPECT_EQ(S_FALSE, device.ReadRemoteControlKey(3, &code, &key));
    EXPECT_EQ(0xABCD0000u, code);
    EXPECT_EQ(0x11, key);

    device.ScriptRemoteKeys({{S_OK, 0x2010, 0xB3}, {E_FAIL, 0x2010, 0xF0}, {S_OK, 0x1234, 0xD5}});
    EXPECT_EQ(S_OK, device.ReadRemoteControlKey(3, &code, &key));
    EXPECT_EQ(0xABCD2010u, code);  // only the low 16 bits are written
    EXPECT_EQ(0xB3, key);
    EXPECT_EQ(E_FAIL, device.ReadRemoteControlKey(3, &code, &key));
    EXPECT_EQ(0xB3, key);
    EXPECT_EQ(E_INVALIDARG, device.ReadRemoteControlKey(2, &code, &key));
    EXPECT_EQ(1u, device.RemoteKeysLeft());
    EXPECT_EQ(S_OK, device.ReadRemoteControlKey(3, &code, &key));
    EXPECT_EQ(0xABCD1234u, code);
    EXPECT_EQ(0xD5, key);
    EXPECT_EQ(S_FALSE, device.ReadRemoteControlKey(3, &code, &key));
}

// ---- card ---------------------------------------------------------------------

TEST_F(SimDeviceTest, CardAnswersTheCommandReversedWithStatusWord) {
    const uint8_t command[] = {0x90, 0x30, 0x00, 0x00, 0x00};
    uint8_t response[512];
    ASSERT_EQ(S_OK, device.TransmitCardCommand(command, sizeof(command), response, 512));
    EXPECT_EQ(0x00, response[0]);
    EXPECT_EQ(7, response[1]);
    const uint8_t expected[] = {0x00, 0x00, 0x00, 0x30, 0x90, 0x90, 0x00};
    EXPECT_EQ(0, std::memcmp(response + 2, expected, sizeof(expected)));

    std::vector<uint8_t> longCommand(600, 0x42);
    ASSERT_EQ(S_OK, device.TransmitCardCommand(longCommand.data(), 600, response, 512));
    EXPECT_EQ(510, (response[0] << 8) | response[1]);  // longest true answer
}

TEST_F(SimDeviceTest, CardOverLongAnswerAndQueuedResponse) {
    const uint8_t command[] = {1, 2};
    uint8_t response[512];
    device.ForceCardResponseLength(511);
    ASSERT_EQ(S_OK, device.TransmitCardCommand(command, 2, response, 512));
    EXPECT_EQ(0x01, response[0]);
    EXPECT_EQ(0xFF, response[1]);
    device.ForceCardResponseLength(-1);

    device.QueueCardResponse({0xAA, 0xBB, 0xCC});
    ASSERT_EQ(S_OK, device.TransmitCardCommand(command, 2, response, 512));
    EXPECT_EQ(3, response[1]);
    EXPECT_EQ(0xCC, response[4]);
    ASSERT_EQ(S_OK, device.TransmitCardCommand(command, 2, response, 512));
    EXPECT_EQ(4, response[1]);  // back to the echo
    EXPECT_EQ(3u, device.State().CardCommands);
}

TEST_F(SimDeviceTest, AbsentCardRefusesResetAndCommands) {
    uint32_t present = 0;
    ASSERT_EQ(S_OK, device.GetCardStatus(&present));
    EXPECT_EQ(1u, present);
    EXPECT_EQ(S_OK, device.ResetCard());
    EXPECT_EQ(1u, device.State().CardResets);

    device.SetCardPresent(false);
    ASSERT_EQ(S_OK, device.GetCardStatus(&present));
    EXPECT_EQ(0u, present);
    EXPECT_EQ(E_FAIL, device.ResetCard());
    uint8_t response[512] = {0x77};
    const uint8_t command[] = {1};
    EXPECT_EQ(E_FAIL, device.TransmitCardCommand(command, 1, response, 512));
    EXPECT_EQ(0x77, response[0]);
    EXPECT_EQ(1u, device.State().CardResets);
}

// ---- LNB, factory, PID filter, stored flags ------------------------------------

TEST_F(SimDeviceTest, LnbPowerAndFactoryData) {
    EXPECT_EQ(S_FALSE, device.GetLNBPower(0));
    EXPECT_EQ(S_OK, device.SetLNBPower(1));
    EXPECT_EQ(S_OK, device.GetLNBPower(0));
    EXPECT_EQ(S_OK, device.SetLNBPower(0));
    EXPECT_EQ(S_FALSE, device.GetLNBPower(0));
    device.ArmFault(SimOp::CheckLNBPowerCircuit, E_FAIL, 1);
    EXPECT_EQ(E_FAIL, device.CheckLNBPowerCircuit(5));
    EXPECT_EQ(S_OK, device.CheckLNBPowerCircuit(5));
    EXPECT_EQ(1u, device.State().LnbCircuitChecks);

    EXPECT_EQ(S_OK, device.FactoryModeWriteManufacturerProductSerialNumber(0x11, 0x22, 0x33));
    const SimDeviceState state = device.State();
    EXPECT_TRUE(state.FactoryWritten);
    EXPECT_EQ(0x11u, state.Manufacturer);
    EXPECT_EQ(0x22u, state.Product);
    EXPECT_EQ(0x33u, state.SerialNumber);

    EXPECT_EQ(S_OK, device.SetTransportStreanEncryptionFlag(0));
    EXPECT_EQ(S_OK, device.SetTunerMode(3));
    EXPECT_EQ(3u, device.State().TunerMode);
}

TEST_F(SimDeviceTest, PidFilterOnPassesOnlyListedPids) {
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));
    ASSERT_EQ(S_OK, device.EnablePidFilter(1));
    const uint16_t onlyMarker[] = {0x1EEE};
    ASSERT_EQ(S_OK, device.SetPidFilterList(1, onlyMarker));
    uint8_t buffer[188 * 10];
    EXPECT_EQ(0u, device.ReadTs(buffer, sizeof(buffer)));

    const uint16_t two[] = {0x1FFF, 0x0112};
    ASSERT_EQ(S_OK, device.SetPidFilterList(2, two));
    TsStreamChecker checker = Read(device, 188 * 300);
    EXPECT_EQ((std::vector<uint16_t>{0x0112, 0x1FFF}), checker.Pids());
    EXPECT_TRUE(checker.Clean());

    ASSERT_EQ(S_OK, device.EnablePidFilter(0));
    checker = Read(device, 188 * 300);
    EXPECT_GT(checker.Pids().size(), 5u);
}

// ---- streaming knobs and the control ---------------------------------------------

TEST_F(SimDeviceTest, SampleSizesCycleAndDefaultsReturnOnReset) {
    EXPECT_EQ(SimDefaultSampleSize, device.NextSampleSize());
    device.SetSampleSizes({100, 0, 188, 1000});
    EXPECT_EQ(100u, device.NextSampleSize());
    EXPECT_EQ(188u, device.NextSampleSize());
    EXPECT_EQ(1000u, device.NextSampleSize());
    EXPECT_EQ(100u, device.NextSampleSize());
    device.SetBitRate(0);
    device.SetPinTypeCount(1);
    device.SetInitialPinCount(5);
    EXPECT_EQ(2u, device.InitialPinCount());

    device.Reset();
    EXPECT_EQ(SimDefaultSampleSize, device.NextSampleSize());
    EXPECT_EQ(SimDefaultBitRate, device.BitRate());
    EXPECT_EQ(2u, device.PinTypeCount());
    EXPECT_EQ(0u, device.InitialPinCount());
}

TEST_F(SimDeviceTest, ControlKeepsDevicesAcrossReset) {
    EXPECT_EQ(&device, sim.Device(Path));
    EXPECT_EQ(sim.DefaultDevice(), sim.Device(nullptr));
    EXPECT_EQ(sim.DefaultDevice(), sim.Device(WIDE("")));
    EXPECT_NE(&device, sim.DefaultDevice());

    device.ArmFault(SimOp::ResetCard, E_FAIL, SimFaultAlways);
    device.SetCardPresent(false);
    sim.Counters()->Created(SimObject::MpeFilter);
    sim.Counters()->Created(SimObject::TunerFilter);
    sim.Counters()->Destroyed(SimObject::TunerFilter);
    EXPECT_EQ(1, sim.Counters()->Creations(SimObject::MpeFilter));
    EXPECT_EQ(0, sim.Counters()->Alive(SimObject::TunerFilter));

    sim.Reset();
    EXPECT_EQ(&device, sim.Device(Path));
    EXPECT_EQ(S_OK, device.ResetCard());
    EXPECT_EQ(0, sim.Counters()->Creations(SimObject::MpeFilter));
    EXPECT_EQ(1u, sim.CallLog()->Size());
    EXPECT_EQ(SimProcessControl(), SimProcessControl());
}

// ---- misbehaviour ---------------------------------------------------------------

namespace {

// Records what the device tells it, with the state the device showed then.
class EventRecorder : public SimDeviceListener {
public:
    void OnDeviceEvent(SimDevice& device, SimDeviceEvent event) override {
        events.push_back(event);
        states.push_back(device.State());
    }
    std::vector<SimDeviceEvent> events;
    std::vector<SimDeviceState> states;
};

size_t ReadBytes(SimDevice& device) {
    std::vector<uint8_t> buffer(188 * 20);
    return device.ReadTs(buffer.data(), buffer.size());
}

int32_t Level(SimDevice& device, HRESULT* result) {
    SignalStatistics statistics{};
    *result = device.GetSignalStatistics(&statistics);
    return statistics.Level;
}

}  // namespace

// One device through every event: what its operations, its TS and its
// signal answer after each, what its listener hears, what an old handle
// reaches after a replug, what the log shows, and Reset.
TEST_F(SimDeviceTest, EachEventChangesTheDeviceAsARealTunerMisbehaves) {
    EventRecorder recorder;
    device.AddListener(&recorder);
    device.AddListener(&recorder);  // once is enough
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));
    HRESULT hr = E_FAIL;
    const int32_t level = Level(device, &hr);
    ASSERT_GT(level, 0);
    ASSERT_EQ(188u * 20, ReadBytes(device));
    const uint32_t opened = device.PlugGeneration();
    SimDevice* const handle = device.Through(opened);
    EXPECT_EQ(&device, handle);

    // Stalled: no TS, everything else as before.
    device.Stall();
    EXPECT_EQ(0u, ReadBytes(device));
    EXPECT_EQ(level, Level(device, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(S_OK, device.SetTunerMode(3));
    EXPECT_TRUE(device.State().Stalled);
    device.Flow();
    EXPECT_EQ(188u * 20, ReadBytes(device));

    // No signal: level 0, not locked, no TS; the tune itself still works.
    device.SetNoSignal(true);
    EXPECT_EQ(0, Level(device, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(0u, ReadBytes(device));
    EXPECT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 1)));
    EXPECT_EQ(0, Level(device, &hr));
    device.SetNoSignal(false);
    EXPECT_GT(Level(device, &hr), 0);
    EXPECT_EQ(0x71DF, Read(device, 188 * 10).PatTsid());  // the tune made meanwhile holds

    // Abort is the streaming filters' business: the device goes on.
    device.Abort();
    EXPECT_EQ(188u * 20, ReadBytes(device));

    // Unplugged: every operation refused (and logged so), no TS.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    device.Unplug();
    EXPECT_EQ(0u, ReadBytes(device));
    EXPECT_EQ(SimDeviceNotConnected, device.SetTunerMode(3));
    Level(device, &hr);
    EXPECT_EQ(SimDeviceNotConnected, hr);
    device.ArmFault(SimOp::ResetCard, E_UNEXPECTED, 1);
    EXPECT_EQ(SimDeviceNotConnected, device.ResetCard());  // before any fault
    EXPECT_EQ(0u, device.FaultsFired(SimOp::ResetCard));
    EXPECT_EQ(SimDeviceNotConnected, sim.CallLog()->Find(SimOp::SetTunerMode).back().Result);
    EXPECT_FALSE(device.State().Plugged);
    EXPECT_EQ(S_OK, device.CheckFilterFault(SimOp::Stop));  // a graph can still be torn down

    // Replugged: a new generation works, the old handle stays dead.
    device.Replug();
    device.Replug();  // already plugged: nothing changes
    EXPECT_EQ(opened + 1, device.PlugGeneration());
    SimDevice* const old = device.Through(opened);
    EXPECT_NE(&device, old);
    EXPECT_EQ(old, old->Through(opened + 1));
    EXPECT_EQ(SimDeviceNotConnected, old->SetTunerMode(3));
    EXPECT_EQ(0u, ReadBytes(*old));
    EXPECT_EQ(SimText(Path), sim.CallLog()->Find(SimOp::SetTunerMode).back().Device);
    EXPECT_EQ(S_OK, device.SetTunerMode(3));
    EXPECT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));
    EXPECT_EQ(188u * 20, ReadBytes(device));

    // The listener heard each event once, after the device had changed.
    const std::vector<SimDeviceEvent> heard = {
        SimDeviceEvent::Stall,  SimDeviceEvent::Flow,   SimDeviceEvent::NoSignal,
        SimDeviceEvent::Signal, SimDeviceEvent::Abort,  SimDeviceEvent::Unplug,
        SimDeviceEvent::Replug, SimDeviceEvent::Replug};
    EXPECT_EQ(heard, recorder.events);
    ASSERT_EQ(heard.size(), recorder.states.size());
    EXPECT_TRUE(recorder.states[0].Stalled);
    EXPECT_TRUE(recorder.states[2].NoSignal);
    EXPECT_FALSE(recorder.states[5].Plugged);
    EXPECT_TRUE(recorder.states[6].Plugged);
    EXPECT_EQ(opened + 1, recorder.states[6].PlugGeneration);

    // The log: each event by name, with the generation after it, in time order.
    const std::vector<SimCall> calls = sim.CallLog()->Entries();
    std::vector<SimOp> events;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (i > 0) {
            EXPECT_GE(calls[i].TimeMs, calls[i - 1].TimeMs);
        }
        if (calls[i].Op >= SimOp::Unplug && calls[i].Op < SimOp::Count) {
            events.push_back(calls[i].Op);
            EXPECT_EQ(SimText(Path), calls[i].Device);
        }
    }
    EXPECT_EQ((std::vector<SimOp>{SimOp::Stall, SimOp::Flow, SimOp::NoSignal, SimOp::Signal,
                                  SimOp::Abort, SimOp::Unplug, SimOp::Replug, SimOp::Replug}),
              events);
    EXPECT_EQ((std::vector<uint32_t>{opened + 1}), sim.CallLog()->Find(SimOp::Replug)[0].Values);
    EXPECT_GE(sim.CallLog()->Find(SimOp::Unplug)[0].TimeMs,
              sim.CallLog()->Find(SimOp::Abort)[0].TimeMs + 35);  // the pause before the unplug
    EXPECT_STREQ("NoSignal", SimOpName(SimOp::NoSignal));
    EXPECT_STREQ("Abort", SimOpName(SimOp::Abort));
    EXPECT_STREQ("LeaveGraph", SimOpName(SimOp::LeaveGraph));  // the older ones keep their place
    EXPECT_EQ(23u, static_cast<uint32_t>(SimOp::LeaveGraph));

    // Reset: plugged (a new generation), flowing, with signal, and silent.
    device.RemoveListener(&recorder);
    device.Stall();
    device.SetNoSignal(true);
    device.Unplug();
    sim.Reset();
    EXPECT_EQ(0u, sim.CallLog()->Size());
    const SimDeviceState state = device.State();
    EXPECT_TRUE(state.Plugged);
    EXPECT_FALSE(state.Stalled);
    EXPECT_FALSE(state.NoSignal);
    EXPECT_EQ(opened + 2, state.PlugGeneration);
    EXPECT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));
    EXPECT_EQ(188u * 20, ReadBytes(device));
    EXPECT_EQ(heard.size(), recorder.events.size());  // removed: told nothing more

    // An event that arrives twice (in process and through the registry's
    // record) counts once; Reset keeps what was seen.
    EXPECT_TRUE(device.ApplyRecorded(SimDeviceEvent::Stall, 5));
    EXPECT_FALSE(device.ApplyRecorded(SimDeviceEvent::Stall, 5));
    EXPECT_FALSE(device.ApplyRecorded(SimDeviceEvent::Flow, 4));
    EXPECT_TRUE(device.State().Stalled);
    sim.Reset();
    EXPECT_FALSE(device.ApplyRecorded(SimDeviceEvent::Stall, 5));
    EXPECT_FALSE(device.State().Stalled);
    EXPECT_EQ(5u, device.AppliedSequence());
}

// ---- concurrency ----------------------------------------------------------------

TEST_F(SimDeviceTest, StreamingRemoteAndHostCallsMayOverlap) {
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));
    std::vector<SimRemoteKey> keys(500, SimRemoteKey{S_OK, 0x2010, 0xB3});
    device.ScriptRemoteKeys(keys);
    std::atomic<bool> stop{false};
    std::vector<uint8_t> stream;
    std::thread streaming([&] {
        std::vector<uint8_t> sample;
        while (!stop.load()) {
            sample.resize(device.NextSampleSize());
            sample.resize(device.ReadTs(sample.data(), sample.size()));
            if (stream.size() < 188 * 20000) stream.insert(stream.end(), sample.begin(), sample.end());
        }
    });
    size_t keysRead = 0;
    std::thread remote([&] {
        for (int i = 0; i < 600; ++i) {
            uint32_t code = 0xFFFF;
            uint8_t key = 0xFF;
            if (device.ReadRemoteControlKey(3, &code, &key) == S_OK) ++keysRead;
        }
    });
    device.SetSampleSizes({100, 188 * 3, 4000});
    const uint16_t pids[] = {0x0111, 0x0112, 0x0113, 0x0000, 0x0010, 0x0100, 0x0011, 0x1FFF};
    for (int i = 0; i < 200; ++i) {
        SignalStatistics statistics;
        device.GetSignalStatistics(&statistics);
        device.SetPidFilterList(8, pids);
        device.EnablePidFilter(i % 2);
        device.State();
    }
    remote.join();
    stop.store(true);
    streaming.join();

    EXPECT_EQ(500u, keysRead);
    EXPECT_EQ(0u, device.RemoteKeysLeft());
    EXPECT_EQ(600u, sim.CallLog()->Count(SimOp::ReadRemoteControlKey));
    EXPECT_EQ(200u, sim.CallLog()->Count(SimOp::GetSignalStatistics));
    // The filter lists every PID, so switching it never changes the stream.
    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    EXPECT_TRUE(checker.Clean());
}

// Events from two threads while TS streams and a listener comes and goes;
// the listener calls the device back from inside its call. Nothing may
// deadlock (and TSan sees no race); a listener that stays hears everything.
TEST_F(SimDeviceTest, EventsListenersAndStreamingMayOverlap) {
    class CallingBack : public SimDeviceListener {
    public:
        void OnDeviceEvent(SimDevice& device, SimDeviceEvent) override {
            device.State();
            device.Through(device.PlugGeneration());
            ++heard;
        }
        std::atomic<int> heard{0};
    };
    ASSERT_EQ(S_OK, Tune(device, Request(Network::IsdbT, 0, 0)));
    CallingBack staying, coming;
    device.AddListener(&staying);
    std::atomic<bool> stop{false};
    std::thread streaming([&] {
        std::vector<uint8_t> sample(188 * 7);
        while (!stop.load()) device.ReadTs(sample.data(), sample.size());
    });
    std::thread churn([&] {
        while (!stop.load()) {
            device.AddListener(&coming);
            device.RemoveListener(&coming);
        }
    });
    const SimDeviceEvent cycle[] = {SimDeviceEvent::Stall, SimDeviceEvent::NoSignal,
                                    SimDeviceEvent::Unplug, SimDeviceEvent::Replug,
                                    SimDeviceEvent::Signal, SimDeviceEvent::Flow};
    std::thread second([&] {
        for (int i = 0; i < 120; ++i) device.Apply(cycle[i % 6]);
    });
    for (int i = 0; i < 120; ++i) device.Apply(cycle[(i + 3) % 6]);
    second.join();
    stop.store(true);
    churn.join();
    streaming.join();
    device.Replug();
    device.Flow();
    device.SetNoSignal(false);

    EXPECT_EQ(243, staying.heard.load());
    EXPECT_EQ(243u, sim.CallLog()->Count(SimOp::Unplug) + sim.CallLog()->Count(SimOp::Replug) +
                        sim.CallLog()->Count(SimOp::Stall) + sim.CallLog()->Count(SimOp::Flow) +
                        sim.CallLog()->Count(SimOp::NoSignal) + sim.CallLog()->Count(SimOp::Signal));
    EXPECT_EQ(188u * 20, ReadBytes(device));
    device.RemoveListener(&staying);
}
