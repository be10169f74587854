// The simulated maker's components as the driver meets them under Wine:
// device enumeration and binding, IBDA_Topology, fault points, the
// TunerDeviceControl forwarding and its call log, the null terminal and the
// receiver components; and the tuner misbehaving under a running graph, from
// this process and from another one.
#include <bdaiface.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "devices/ClassThreading.h"
#include "platform/BdaGuids.h"
#include "platform/UniqueHandle.h"
#include "sim/SimClassIds.h"
#include "sim/SimDeviceEvents.h"
#include "sim/SimDeviceOwner.h"
#include "sim/SimRegistry.h"
#include "tests/windows/SimTestHarness.h"
#include "tests/windows/StackProbe.h"

using namespace simtest;

namespace {

const WideChar* Wide(const std::wstring& text) {
    return reinterpret_cast<const WideChar*>(text.c_str());
}

SimDevice* FirstDevice() { return Control()->Device(Wide(Tuners()[0].devicePath)); }

std::vector<std::pair<std::wstring, std::wstring>> Enumerate(const GUID& category, HRESULT* result) {
    std::vector<std::pair<std::wstring, std::wstring>> names;
    ComPtr<ICreateDevEnum> devices;
    ComPtr<IEnumMoniker> monikers;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICreateDevEnum, devices.ReceiveVoid()),
              S_OK);
    IEnumMoniker* raw = reinterpret_cast<IEnumMoniker*>(0xdeadbeef);  // must be written
    *result = devices->CreateClassEnumerator(category, &raw, 0);
    EXPECT_NE(raw, reinterpret_cast<IEnumMoniker*>(0xdeadbeef));
    monikers = ComPtr<IEnumMoniker>::Adopt(raw);
    if (!monikers) return names;
    for (ComPtr<IMoniker> moniker; monikers->Next(1, moniker.Receive(), nullptr) == S_OK;) {
        ComPtr<IPropertyBag> bag;
        EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()), S_OK);
        VARIANT name, path;
        VariantInit(&name);
        VariantInit(&path);
        EXPECT_EQ(bag->Read(L"FriendlyName", &name, nullptr), S_OK);
        EXPECT_EQ(bag->Read(L"DevicePath", &path, nullptr), S_OK);
        names.emplace_back(V_BSTR(&name), V_BSTR(&path));
        VariantClear(&name);
        VariantClear(&path);
    }
    return names;
}

class SimTunerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SimDeviceEvents::Forget(), S_OK);
        Control()->Reset();
        Control()->CallLog()->Clear();
        Control()->Counters()->Clear();
    }
    void TearDown() override { UseReceivers(L"none"); }
};

// ---- enumeration and binding ----

TEST_F(SimTunerTest, DeviceEnumeratorListsRegisteredTunersWithBothNames) {
    HRESULT hr = E_FAIL;
    const auto names = Enumerate(SimCategoryNetworkTuner, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(names.size(), Tuners().size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i].first, Tuners()[i].friendlyName);
        EXPECT_EQ(names[i].second, Tuners()[i].devicePath);
    }
    EXPECT_NE(Tuners()[0].devicePath, Tuners()[1].devicePath);
    EXPECT_EQ(Tuners()[0].devicePath.find(L"\\\\?\\usb#vid_0511&pid_0045#"), 0u);
}

TEST_F(SimTunerTest, EmptyReceiverCategoryAnswersSFalseWithoutEnumerator) {
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(Enumerate(SimCategoryReceiverComponent, &hr).empty());
    EXPECT_EQ(hr, S_FALSE);
}

TEST_F(SimTunerTest, BindingLoadsThePropertyBagSoTheFilterKnowsItsDevicePath) {
    for (const SimDeviceRecord& record : Tuners()) {
        ComPtr<IBaseFilter> tuner = BindTuner(record);
        ASSERT_TRUE(tuner);
        ComPtr<ISimDeviceOwner> owner;
        ASSERT_EQ(owner.QueryFrom(tuner.Get(), IID_ISimDeviceOwner), S_OK);
        EXPECT_EQ(owner->Device(), Control()->Device(Wide(record.devicePath)));
        EXPECT_NE(owner->Device(), Control()->DefaultDevice());
        owner.Reset();
        EXPECT_EQ(tuner.Detach()->Release(), 0u);
    }
}

TEST_F(SimTunerTest, CreatedDirectlyTheTunerDrivesTheDefaultDevice) {
    ComPtr<IBaseFilter> tuner = NewFilter(CLSID_SimTunerFilter);
    ComPtr<ISimDeviceOwner> owner;
    ASSERT_EQ(owner.QueryFrom(tuner.Get(), IID_ISimDeviceOwner), S_OK);
    EXPECT_EQ(owner->Device(), Control()->DefaultDevice());
    owner.Reset();
    EXPECT_EQ(tuner.Detach()->Release(), 0u);
}

// ---- topology and pins ----

TEST_F(SimTunerTest, PinTypesReportTheConfiguredCountOrTheArmedFault) {
    ComPtr<IBaseFilter> tuner = BindTuner(Tuners()[0]);
    ComPtr<IBDA_Topology> topology;
    ASSERT_EQ(topology.QueryFrom(tuner.Get(), IidBdaTopology), S_OK);
    ULONG count = 99, types[2] = {99, 99};
    EXPECT_EQ(topology->GetPinTypes(&count, 2, types), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(types[0], 0u);
    EXPECT_EQ(types[1], 1u);
    FirstDevice()->SetPinTypeCount(3);
    EXPECT_EQ(topology->GetPinTypes(&count, 2, types), S_OK);
    EXPECT_EQ(count, 3u);
    FirstDevice()->ArmFault(SimOp::GetPinTypes, E_ACCESSDENIED, 1);
    EXPECT_EQ(topology->GetPinTypes(&count, 2, types), E_ACCESSDENIED);
    EXPECT_EQ(topology->GetNodeTypes(&count, 2, types), E_NOTIMPL);
    topology.Reset();
    EXPECT_EQ(tuner.Detach()->Release(), 0u);
}

TEST_F(SimTunerTest, StartsWithTheConfiguredPinsAndCreatePinExposesTheRest) {
    for (uint32_t initial = 0; initial <= 2; ++initial) {
        FirstDevice()->SetInitialPinCount(initial);
        ComPtr<IBaseFilter> tuner = BindTuner(Tuners()[0]);
        EXPECT_EQ(PinCount(tuner.Get()), static_cast<int>(initial));
        ComPtr<IBDA_Topology> topology;
        ASSERT_EQ(topology.QueryFrom(tuner.Get(), IidBdaTopology), S_OK);
        ULONG inputId = 99, outputId = 99;
        EXPECT_EQ(topology->CreatePin(0, &inputId), S_OK);
        EXPECT_EQ(topology->CreatePin(1, &outputId), S_OK);
        EXPECT_EQ(inputId, 0u);
        EXPECT_EQ(outputId, 1u);
        EXPECT_EQ(PinCount(tuner.Get()), 2);
        EXPECT_EQ(topology->CreatePin(7, &inputId), E_INVALIDARG);
        topology.Reset();
        EXPECT_EQ(tuner.Detach()->Release(), 0u);
    }
}

// The property bag of the first tuner's moniker, as the device enumerator
// hands it to Load.
ComPtr<IPropertyBag> FirstTunerBag() {
    ComPtr<ICreateDevEnum> devices;
    ComPtr<IEnumMoniker> monikers;
    ComPtr<IPropertyBag> bag;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid())) ||
        devices->CreateClassEnumerator(SimCategoryNetworkTuner, monikers.Receive(), 0) != S_OK)
        return bag;
    ComPtr<IMoniker> moniker;
    if (monikers->Next(1, moniker.Receive(), nullptr) == S_OK)
        moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid());
    return bag;
}

TEST_F(SimTunerTest, PinEnumeratorFollowsOnlyRealChangesOfThePinSet) {
    FirstDevice()->SetInitialPinCount(1);
    ComPtr<IBaseFilter> tuner = BindTuner(Tuners()[0]);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(tuner->EnumPins(pins.Receive()), S_OK);
    // Loading the same device again exposes the same pin: still in step.
    ComPtr<IPersistPropertyBag> persist;
    ComPtr<IPropertyBag> bag = FirstTunerBag();
    ASSERT_TRUE(bag);
    ASSERT_EQ(persist.QueryFrom(tuner.Get(), IID_IPersistPropertyBag), S_OK);
    EXPECT_EQ(persist->Load(bag.Get(), nullptr), S_OK);
    ComPtr<IPin> pin;
    EXPECT_EQ(pins->Next(1, pin.Receive(), nullptr), S_OK);
    // Exposing the output pin changes the set: out of step until Reset.
    ComPtr<IBDA_Topology> topology;
    ASSERT_EQ(topology.QueryFrom(tuner.Get(), IidBdaTopology), S_OK);
    ULONG id = 99;
    EXPECT_EQ(topology->CreatePin(1, &id), S_OK);
    EXPECT_EQ(pins->Next(1, pin.Receive(), nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(pins->Reset(), S_OK);
    // Asking again for a pin already exposed changes nothing.
    EXPECT_EQ(topology->CreatePin(0, &id), S_OK);
    IPin* both[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(2, both, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    both[0]->Release();
    both[1]->Release();
    EXPECT_EQ(pins->Next(1, pin.Receive(), &fetched), S_FALSE);
    pin.Reset();
    pins.Reset();
    topology.Reset();
    persist.Reset();
    EXPECT_EQ(tuner.Detach()->Release(), 0u);
}

TEST_F(SimTunerTest, CreatePinFaultIsAnsweredAndExposesNothing) {
    FirstDevice()->ArmFault(SimOp::CreatePin, E_OUTOFMEMORY, 1);
    ComPtr<IBaseFilter> tuner = BindTuner(Tuners()[0]);
    ComPtr<IBDA_Topology> topology;
    ASSERT_EQ(topology.QueryFrom(tuner.Get(), IidBdaTopology), S_OK);
    ULONG id = 0;
    EXPECT_EQ(topology->CreatePin(0, &id), E_OUTOFMEMORY);
    EXPECT_EQ(PinCount(tuner.Get()), 0);
    EXPECT_EQ(topology->CreatePin(0, &id), S_OK);
    EXPECT_EQ(FirstDevice()->FaultsFired(SimOp::CreatePin), 1u);
    topology.Reset();
    EXPECT_EQ(tuner.Detach()->Release(), 0u);
}

// ---- graph-level faults ----

class SimGraphTest : public SimTunerTest {
protected:
    void SetUp() override {
        SimTunerTest::SetUp();
        graph_ = NewGraph();
        provider_ = NewFilter(CLSID_SimNetworkProvider);
        tuner_ = BindTuner(Tuners()[0]);
        ASSERT_TRUE(graph_ && provider_ && tuner_);
        ASSERT_EQ(CreateTunerPins(tuner_.Get()), S_OK);
        ASSERT_EQ(graph_->AddFilter(provider_.Get(), L"Provider"), S_OK);
        ASSERT_EQ(graph_->AddFilter(tuner_.Get(), L"Tuner"), S_OK);
    }
    void TearDown() override {
        control_.Reset();
        ComPtr<IMediaControl> control;
        ASSERT_EQ(control.QueryFrom(graph_.Get(), IID_IMediaControl), S_OK);
        control->Stop();
        control.Reset();
        for (auto* filter : {provider_.Get(), tuner_.Get(), extra_.Get()})
            if (filter != nullptr) {
                EXPECT_EQ(graph_->RemoveFilter(filter), S_OK);
            }
        EXPECT_EQ(provider_.Detach()->Release(), 0u);
        EXPECT_EQ(tuner_.Detach()->Release(), 0u);
        if (extra_) {
            EXPECT_EQ(extra_.Detach()->Release(), 0u);
        }
        EXPECT_EQ(graph_.Detach()->Release(), 0u);
        SimTunerTest::TearDown();
    }
    TunerDeviceControl* DeviceControl() {
        control_.QueryFrom(provider_.Get(), IID_TunerDeviceControl);
        return control_.Get();
    }

    ComPtr<IGraphBuilder> graph_;
    ComPtr<IBaseFilter> provider_, tuner_, extra_;
    ComPtr<TunerDeviceControl> control_;
};

TEST_F(SimGraphTest, ConnectionFaultOnTheTunerInputFailsConnectDirect) {
    // Every media type the two pins try is refused with the armed code, and
    // ConnectDirect reports that code.
    FirstDevice()->ArmFault(SimOp::ConnectTunerInput, VFW_E_NO_TRANSPORT, SimFaultAlways);
    EXPECT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), VFW_E_NO_TRANSPORT);
    EXPECT_GE(FirstDevice()->FaultsFired(SimOp::ConnectTunerInput), 1u);
    FirstDevice()->DisarmFaults();
    EXPECT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
}

TEST_F(SimGraphTest, RefusedFirstMediaTypeDoesNotSpoilTheNextOne) {
    // The first type is refused; the output pin must still hold what it set
    // up before the first attempt and connect with the input pin's type.
    FirstDevice()->ArmFault(SimOp::ConnectTunerInput, VFW_E_NO_TRANSPORT, 1);
    EXPECT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
    EXPECT_EQ(FirstDevice()->FaultsFired(SimOp::ConnectTunerInput), 1u);
}

TEST_F(SimGraphTest, ConnectionFaultOnTheTunerOutputFailsConnectDirect) {
    extra_ = NewFilter(CLSID_SimNullTerminal);
    ASSERT_EQ(graph_->AddFilter(extra_.Get(), L"Null Terminal"), S_OK);
    FirstDevice()->ArmFault(SimOp::ConnectTunerOutput, E_ACCESSDENIED, 1);
    EXPECT_EQ(ConnectFilters(graph_.Get(), tuner_.Get(), extra_.Get()), E_ACCESSDENIED);
    EXPECT_EQ(ConnectFilters(graph_.Get(), tuner_.Get(), extra_.Get()), S_OK);
}

TEST_F(SimGraphTest, PauseFaultFailsTheGraphStateChange) {
    ASSERT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
    ComPtr<IMediaControl> control;
    ASSERT_EQ(control.QueryFrom(graph_.Get(), IID_IMediaControl), S_OK);
    FirstDevice()->ArmFault(SimOp::Pause, E_ACCESSDENIED, 1);
    EXPECT_TRUE(FAILED(control->Pause()));
    EXPECT_EQ(FirstDevice()->FaultsFired(SimOp::Pause), 1u);
    EXPECT_TRUE(SUCCEEDED(control->Pause()));
}

TEST_F(SimGraphTest, RunFaultFailsTheTunerAndKeepsItPaused) {
    FirstDevice()->ArmFault(SimOp::Run, E_ACCESSDENIED, 1);
    EXPECT_EQ(tuner_->Pause(), S_OK);
    EXPECT_EQ(tuner_->Run(0), E_ACCESSDENIED);
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(tuner_->GetState(0, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(tuner_->Run(0), S_OK);
    EXPECT_EQ(tuner_->Stop(), S_OK);
}

// ---- TunerDeviceControl ----

TEST_F(SimGraphTest, UnconnectedNetworkProviderAnswersNotConnected) {
    TunerDeviceControl* control = DeviceControl();
    ASSERT_NE(control, nullptr);
    const size_t logged = Control()->CallLog()->Size();
    EXPECT_EQ(control->SetTunerMode(3), VFW_E_NOT_CONNECTED);
    uint32_t present = 7;
    EXPECT_EQ(control->GetCardStatus(&present), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(present, 7u);
    EXPECT_EQ(Control()->CallLog()->Size(), logged);
}

TEST_F(SimGraphTest, PlaceholderSlotsAnswerNotImplemented) {
    ASSERT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
    TunerDeviceControl* control = DeviceControl();
    EXPECT_EQ(control->Reserved4(), E_NOTIMPL);
    EXPECT_EQ(control->Reserved30(), E_NOTIMPL);
    EXPECT_EQ(control->Reserved43(), E_NOTIMPL);
}

TEST_F(SimGraphTest, OperationsReachTheConnectedDeviceAndItsCallLog) {
    ASSERT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
    Control()->CallLog()->Clear();
    TunerDeviceControl* control = DeviceControl();
    EXPECT_EQ(control->SetTunerMode(3), S_OK);
    EXPECT_EQ(control->SetTransportStreanEncryptionFlag(0), S_OK);
    const uint16_t pids[2] = {0x0100, 0x0111};
    EXPECT_EQ(control->SetPidFilterList(2, pids), S_OK);

    const std::vector<SimCall> calls = Control()->CallLog()->Entries();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Op, SimOp::SetTunerMode);
    EXPECT_EQ(calls[0].Values, std::vector<uint32_t>{3});
    EXPECT_EQ(calls[1].Op, SimOp::SetTransportStreanEncryptionFlag);
    EXPECT_EQ(calls[1].Values, std::vector<uint32_t>{0});
    EXPECT_EQ(calls[2].Op, SimOp::SetPidFilterList);
    EXPECT_EQ(calls[2].Bytes, (std::vector<uint8_t>{0x00, 0x01, 0x11, 0x01}));
    for (const SimCall& call : calls)
        EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(call.Device.c_str())),
                  Tuners()[0].devicePath);
    EXPECT_EQ(FirstDevice()->State().TunerMode, 3u);
}

// The interface the driver calls on the maker's network provider, called slot
// by slot from test code through the stack probe: on 32-bit x86 each
// operation is a COM method (stdcall: it pops the object and its arguments)
// and reaches the device with exactly the arguments pushed.
TEST_F(SimGraphTest, EverySlotIsAComMethodThatPopsItsArguments) {
#if defined(BDA_STACK_PROBE)
    ASSERT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
    TunerDeviceControl* control = DeviceControl();
    ASSERT_NE(control, nullptr);
    void** table = *reinterpret_cast<void***>(control);
    TuneRequest request = {};
    request.SystemType = 0;
    request.Tsid = 0xFFFFFFFF;
    request.Tail = {473143, 1000, 6};
    SignalStatistics statistics = {};
    uint32_t code = 0xFFFF, present = 0;
    uint8_t key = 0;
    uint8_t response[512] = {};
    const uint8_t command[3] = {1, 2, 3};
    const uint16_t pids[2] = {0x1FFF, 0x0100};
    struct Case {
        int Slot;
        SimOp Op;
        std::vector<uint32_t> Args;    // after the object
        std::vector<uint32_t> Logged;  // the scalars the device saw
    };
    const Case cases[] = {
        {3, SimOp::SetTunerMode, {3}, {3}},
        {5, SimOp::SetFrequency, {ProbeWord(&request.Tail)}, {}},
        {9, SimOp::SetTuneRequest, {ProbeWord(&request)}, {}},
        {8, SimOp::GetSignalStatistics, {ProbeWord(&statistics)}, {}},
        {13, SimOp::ReadRemoteControlKey, {3, ProbeWord(&code), ProbeWord(&key)}, {3}},
        {23, SimOp::CheckLNBPowerCircuit, {11}, {11}},
        {24, SimOp::SetLNBPower, {1}, {1}},
        {25, SimOp::GetLNBPower, {12}, {12}},
        {29, SimOp::SetTransportStreanEncryptionFlag, {0}, {0}},
        {31, SimOp::ResetCard, {}, {}},
        {32, SimOp::GetCardStatus, {ProbeWord(&present)}, {}},
        {35, SimOp::TransmitCardCommand, {ProbeWord(command), 3, ProbeWord(response), 512}, {3, 512}},
        {40, SimOp::EnablePidFilter, {1}, {1}},
        {41, SimOp::SetPidFilterList, {2, ProbeWord(pids)}, {2}},
        {44, SimOp::FactoryModeWriteManufacturerProductSerialNumber, {4, 5, 6}, {4, 5, 6}},
    };
    Control()->CallLog()->Clear();
    for (const Case& c : cases) {
        std::vector<uint32_t> words = {ProbeWord(control)};
        words.insert(words.end(), c.Args.begin(), c.Args.end());
        uint32_t left = 0xDEAD;
        const HRESULT result = static_cast<HRESULT>(BdaProbeCall(
            table[c.Slot], nullptr, words.data(), static_cast<uint32_t>(words.size()), &left));
        EXPECT_EQ(left, 0u) << SimOpName(c.Op) << " (slot " << c.Slot << ") is not stdcall";
        EXPECT_TRUE(SUCCEEDED(result)) << SimOpName(c.Op);
        const std::vector<SimCall> calls = Control()->CallLog()->Find(c.Op);
        ASSERT_EQ(calls.size(), 1u) << "slot " << c.Slot << " did not reach " << SimOpName(c.Op);
        EXPECT_EQ(calls.back().Values, c.Logged) << SimOpName(c.Op);
    }
    EXPECT_EQ(present, 1u);
    EXPECT_EQ(code & 0xFFFF, 0xFFFFu);  // an empty key script writes nothing
    const uint8_t* sent = reinterpret_cast<const uint8_t*>(&request);
    EXPECT_EQ(Control()->CallLog()->Find(SimOp::SetTuneRequest).back().Bytes,
              std::vector<uint8_t>(sent, sent + sizeof request));
    EXPECT_EQ(response[1], 5);  // three bytes echoed and 90 00
#else
    GTEST_SKIP() << "x86-64 has one calling convention: nothing to tell apart";
#endif
}

TEST_F(SimGraphTest, DeviceFaultsAreAnsweredThroughTheNetworkProvider) {
    ASSERT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
    FirstDevice()->ArmFault(SimOp::SetFrequency, E_ABORT, 1);
    EXPECT_EQ(TuneTerrestrial13(provider_.Get()), E_ABORT);
    EXPECT_EQ(TuneTerrestrial13(provider_.Get()), S_OK);
    EXPECT_TRUE(FirstDevice()->State().HasChannel);
}

// ---- null terminal and receiver components ----

TEST_F(SimTunerTest, NullTerminalIsARendererThatAcceptsAnyType) {
    ComPtr<IBaseFilter> terminal = NewFilter(CLSID_SimNullTerminal);
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(flags.QueryFrom(terminal.Get(), IID_IAMFilterMiscFlags), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER));
    flags.Reset();
    ComPtr<IPin> pin = PinAt(terminal.Get(), 0);
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    EXPECT_EQ(pin->QueryAccept(&type), S_OK);
    pin.Reset();
    EXPECT_EQ(terminal.Detach()->Release(), 0u);
}

TEST_F(SimTunerTest, ReceiverScenarioIsEnumeratedInOrderWithoutCreatingAnything) {
    UseReceivers(L"all");
    HRESULT hr = E_FAIL;
    const auto names = Enumerate(SimCategoryReceiverComponent, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0].first, L"BDA MPE Filter");
    EXPECT_EQ(names[1].first, L"BDA Slip De-Framer");
    EXPECT_EQ(names[2].first, L"Tessel Sim Refusing Receiver");
    EXPECT_EQ(names[3].first, L"Tessel Sim Pass-Through Receiver");
    EXPECT_EQ(Control()->Counters()->Creations(SimObject::MpeFilter), 0);
    EXPECT_EQ(Control()->Counters()->Creations(SimObject::SlipDeFramer), 0);
}

TEST_F(SimTunerTest, BindingASkippedReceiverIsCountedUnderItsOwnKind) {
    UseReceivers(L"skipped-only");
    ComPtr<IBaseFilter> slip = BindReceiver(L"BDA Slip De-Framer");
    ASSERT_TRUE(slip);
    EXPECT_EQ(Control()->Counters()->Creations(SimObject::SlipDeFramer), 1);
    EXPECT_EQ(Control()->Counters()->Creations(SimObject::MpeFilter), 0);
    EXPECT_EQ(slip.Detach()->Release(), 0u);
    EXPECT_EQ(Control()->Counters()->Alive(SimObject::SlipDeFramer), 0);
}

TEST_F(SimGraphTest, RefusingReceiverNeverConnectsToTheTuner) {
    UseReceivers(L"never-connects");
    extra_ = BindReceiver(L"Tessel Sim Refusing Receiver");
    ASSERT_TRUE(extra_);
    ASSERT_EQ(graph_->AddFilter(extra_.Get(), L"Receiver"), S_OK);
    EXPECT_TRUE(FAILED(ConnectFilters(graph_.Get(), tuner_.Get(), extra_.Get())));
    ComPtr<IPin> out = PinAt(tuner_.Get(), 1);
    ComPtr<IPin> peer;
    EXPECT_EQ(out->ConnectedTo(peer.Receive()), VFW_E_NOT_CONNECTED);
}

TEST_F(SimGraphTest, PassThroughReceiverCarriesTheStreamToTheWriter) {
    UseReceivers(L"several");
    extra_ = BindReceiver(L"Tessel Sim Pass-Through Receiver");
    ASSERT_TRUE(extra_);
    ComPtr<IBaseFilter> writerFilter, terminal = NewFilter(CLSID_SimNullTerminal);
    CTsWriter* writer = NewWriter(&writerFilter);
    SampleSink sink;
    writer->SetCallback(&SampleSink::Callback, &sink);
    ASSERT_EQ(graph_->AddFilter(extra_.Get(), L"Receiver"), S_OK);
    ASSERT_EQ(graph_->AddFilter(writerFilter.Get(), L"Writer"), S_OK);
    ASSERT_EQ(graph_->AddFilter(terminal.Get(), L"Null Terminal"), S_OK);
    ASSERT_EQ(ConnectFilters(graph_.Get(), provider_.Get(), tuner_.Get()), S_OK);
    ASSERT_EQ(ConnectFilters(graph_.Get(), tuner_.Get(), extra_.Get()), S_OK);
    ASSERT_EQ(ConnectFilters(graph_.Get(), extra_.Get(), writerFilter.Get()), S_OK);
    ASSERT_EQ(ConnectFilters(graph_.Get(), writerFilter.Get(), terminal.Get()), S_OK);
    FirstDevice()->SetBitRate(0);
    ASSERT_EQ(TuneTerrestrial13(provider_.Get()), S_OK);
    ComPtr<IMediaControl> control;
    ASSERT_EQ(control.QueryFrom(graph_.Get(), IID_IMediaControl), S_OK);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_TRUE(sink.WaitForBytes(188 * 1000, 20000));
    ASSERT_EQ(control->Stop(), S_OK);
    control.Reset();
    writer->SetCallback(nullptr, nullptr);
    EXPECT_EQ(graph_->RemoveFilter(writerFilter.Get()), S_OK);
    EXPECT_EQ(graph_->RemoveFilter(terminal.Get()), S_OK);
    EXPECT_EQ(writerFilter.Detach()->Release(), 0u);
    EXPECT_EQ(terminal.Detach()->Release(), 0u);
    EXPECT_EQ(Control()->Counters()->Creations(SimObject::PassThroughReceiver), 1);
}

// ---- the tuner misbehaving under a running graph ----

#ifndef SIM_EVENT_SENDER_EXE
#error "SIM_EVENT_SENDER_EXE names the program that applies events from another process"
#endif

// Provider, tuner, writer and null terminal in Wine's filter graph manager,
// tuned to 13ch and running, as the driver builds them.
struct Chain {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> provider, tuner, writerFilter, terminal;
    CTsWriter* writer = nullptr;
    SampleSink sink;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<TunerDeviceControl> device;
};

void BuildAndRun(const SimDeviceRecord& record, Chain* chain) {
    chain->graph = NewGraph();
    chain->provider = NewFilter(CLSID_SimNetworkProvider);
    chain->tuner = BindTuner(record);
    chain->terminal = NewFilter(CLSID_SimNullTerminal);
    chain->writer = NewWriter(&chain->writerFilter);
    ASSERT_TRUE(chain->graph && chain->provider && chain->tuner && chain->terminal &&
                chain->writer);
    chain->writer->SetCallback(&SampleSink::Callback, &chain->sink);
    ASSERT_EQ(CreateTunerPins(chain->tuner.Get()), S_OK);
    ASSERT_EQ(chain->graph->AddFilter(chain->provider.Get(), L"Provider"), S_OK);
    ASSERT_EQ(chain->graph->AddFilter(chain->tuner.Get(), L"Tuner"), S_OK);
    ASSERT_EQ(chain->graph->AddFilter(chain->writerFilter.Get(), L"Writer"), S_OK);
    ASSERT_EQ(chain->graph->AddFilter(chain->terminal.Get(), L"Null Terminal"), S_OK);
    ASSERT_EQ(ConnectFilters(chain->graph.Get(), chain->provider.Get(), chain->tuner.Get()), S_OK);
    ASSERT_EQ(ConnectFilters(chain->graph.Get(), chain->tuner.Get(), chain->writerFilter.Get()),
              S_OK);
    ASSERT_EQ(ConnectFilters(chain->graph.Get(), chain->writerFilter.Get(), chain->terminal.Get()),
              S_OK);
    ASSERT_EQ(TuneTerrestrial13(chain->provider.Get()), S_OK);
    ASSERT_EQ(chain->control.QueryFrom(chain->graph.Get(), IID_IMediaControl), S_OK);
    ASSERT_EQ(chain->events.QueryFrom(chain->graph.Get(), IID_IMediaEventEx), S_OK);
    ASSERT_EQ(chain->device.QueryFrom(chain->provider.Get(), IID_TunerDeviceControl), S_OK);
    ASSERT_TRUE(SUCCEEDED(chain->control->Run()));
    ASSERT_TRUE(chain->sink.WaitForBytes(188 * 100, 10000)) << "the new chain never streamed";
}

// Every queued event read and freed (an EC_DEVICE_LOST holds a reference on
// the tuner), the graph stopped and every object released to 0.
void TearDownChain(Chain* chain) {
    if (chain->events) {
        long code = 0;
        LONG_PTR first = 0, second = 0;
        while (chain->events->GetEvent(&code, &first, &second, 0) == S_OK)
            chain->events->FreeEventParams(code, first, second);
    }
    if (chain->control) {
        EXPECT_EQ(chain->control->Stop(), S_OK);
    }
    chain->device.Reset();
    chain->events.Reset();
    chain->control.Reset();
    if (chain->writer) chain->writer->SetCallback(nullptr, nullptr);
    chain->writer = nullptr;  // goes with its filter below
    for (ComPtr<IBaseFilter>* filter :
         {&chain->provider, &chain->tuner, &chain->writerFilter, &chain->terminal}) {
        if (!*filter) continue;
        EXPECT_EQ(chain->graph->RemoveFilter(filter->Get()), S_OK);
        EXPECT_EQ(filter->Detach()->Release(), 0u);
    }
    if (chain->graph) {
        EXPECT_EQ(chain->graph.Detach()->Release(), 0u);
    }
}

// Waits, at most `ms`, on the graph's event handle for an event of `code`
// (others are freed and passed over); its parameters are read before they
// are freed.
bool WaitForEvent(IMediaEventEx* events, long code, DWORD ms, LONG_PTR* first, LONG_PTR* second) {
    HANDLE ready = nullptr;
    if (events->GetEventHandle(reinterpret_cast<OAEVENT*>(&ready)) != S_OK) return false;
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline ||
            WaitForSingleObject(ready, static_cast<DWORD>(deadline - now)) != WAIT_OBJECT_0)
            return false;
        long got = 0;
        LONG_PTR a = 0, b = 0;
        while (events->GetEvent(&got, &a, &b, 0) == S_OK) {
            events->FreeEventParams(got, a, b);
            if (got != code) continue;
            *first = a;
            *second = b;
            return true;
        }
    }
}

// Nothing more arrives for `ms` after the moment `before` bytes had: at most
// the one sample the streaming thread may have read just before.
bool StaysQuiet(SampleSink& sink, size_t before, DWORD ms) {
    Sleep(ms);
    return sink.Size() <= before + SimDefaultSampleSize;
}

// Samples come again within `ms`.
bool Resumes(SampleSink& sink, DWORD ms) { return sink.WaitForBytes(sink.Size() + 188, ms); }

int32_t Level(TunerDeviceControl* device) {
    SignalStatistics statistics{};
    EXPECT_EQ(device->GetSignalStatistics(&statistics), S_OK);
    return statistics.Level;
}

HRESULT Apply(SimDeviceEvent event, const SimDeviceRecord& record) {
    return SimDeviceEvents::Apply(event, record.devicePath);
}

class SimMisbehaviourTest : public SimTunerTest {
protected:
    void TearDown() override {
        TearDownChain(&chain_);
        SimTunerTest::TearDown();
    }
    Chain chain_;
};

// A hung streaming path, a lost antenna and an aborted stream, each under a
// running graph: samples stop and come back at once, the control calls go
// on, an abort reaches the graph as EC_ERRORABORT and lasts until Stop.
TEST_F(SimMisbehaviourTest, StallNoSignalAndAbortActOnTheRunningStreamAtOnce) {
    ASSERT_EQ(SimDeviceEvents::LoadedControl(), Control());
    BuildAndRun(Tuners()[0], &chain_);
    TunerDeviceControl* device = chain_.device.Get();
    const int32_t level = Level(device);
    ASSERT_GT(level, 0);

    size_t before = chain_.sink.Size();
    ASSERT_EQ(Apply(SimDeviceEvent::Stall, Tuners()[0]), S_OK);
    EXPECT_TRUE(StaysQuiet(chain_.sink, before, 300));
    EXPECT_EQ(device->SetTunerMode(3), S_OK);
    EXPECT_EQ(Level(device), level);
    ASSERT_EQ(Apply(SimDeviceEvent::Flow, Tuners()[0]), S_OK);
    EXPECT_TRUE(Resumes(chain_.sink, 1000));

    before = chain_.sink.Size();
    ASSERT_EQ(Apply(SimDeviceEvent::NoSignal, Tuners()[0]), S_OK);
    EXPECT_EQ(Level(device), 0);
    EXPECT_TRUE(StaysQuiet(chain_.sink, before, 300));
    ASSERT_EQ(Apply(SimDeviceEvent::Signal, Tuners()[0]), S_OK);
    EXPECT_EQ(Level(device), level);
    EXPECT_TRUE(Resumes(chain_.sink, 1000));

    before = chain_.sink.Size();
    ASSERT_EQ(Apply(SimDeviceEvent::Abort, Tuners()[0]), S_OK);
    LONG_PTR first = 0, second = 0;
    ASSERT_TRUE(WaitForEvent(chain_.events.Get(), EC_ERRORABORT, 2000, &first, &second));
    EXPECT_EQ(static_cast<HRESULT>(first), E_FAIL);
    EXPECT_EQ(second, reinterpret_cast<LONG_PTR>(chain_.tuner.Get()));
    EXPECT_TRUE(StaysQuiet(chain_.sink, before, 300));
    EXPECT_EQ(device->SetTunerMode(3), S_OK);
    ASSERT_TRUE(SUCCEEDED(chain_.control->Pause()));
    ASSERT_TRUE(SUCCEEDED(chain_.control->Run()));
    EXPECT_TRUE(StaysQuiet(chain_.sink, chain_.sink.Size(), 200)) << "only a Stop ends an abort";
    ASSERT_EQ(chain_.control->Stop(), S_OK);
    ASSERT_TRUE(SUCCEEDED(chain_.control->Run()));
    EXPECT_TRUE(Resumes(chain_.sink, 1000));

    // Each event once in the log, in time order, though the DLL's watcher
    // saw every one of them recorded too.
    Sleep(500);
    const std::vector<SimOp> applied = {SimOp::Stall, SimOp::Flow, SimOp::NoSignal,
                                        SimOp::Signal, SimOp::Abort};
    std::vector<SimCall> events;
    for (const SimCall& call : Control()->CallLog()->Entries())
        if (call.Op >= SimOp::Unplug && call.Op < SimOp::Count) events.push_back(call);
    ASSERT_EQ(events.size(), applied.size());
    for (size_t i = 0; i < applied.size(); ++i) {
        EXPECT_EQ(events[i].Op, applied[i]) << i;
        if (i > 0) {
            EXPECT_GE(events[i].TimeMs, events[i - 1].TimeMs);
        }
    }
    EXPECT_GE(events[1].TimeMs - events[0].TimeMs, 300u);  // the quiet spell between
    EXPECT_EQ(SimDeviceEvents::Recorded(Tuners()[0].devicePath).size(), applied.size());
}

// Unplugged, the running graph hears EC_DEVICE_LOST (0) and the device
// leaves the enumerator; replugged, the graph hears EC_DEVICE_LOST (1) and
// the device is listed again as it was, but the old filter stays dead;
// a new graph on it streams.
TEST_F(SimMisbehaviourTest, UnplugAndReplugAsARemovedCaptureDeviceDoes) {
    const SimDeviceRecord& record = Tuners()[0];
    BuildAndRun(record, &chain_);
    ComPtr<IUnknown> tunerIdentity;
    ASSERT_EQ(tunerIdentity.QueryFrom(chain_.tuner.Get(), IID_IUnknown), S_OK);
    const uint32_t opened = Control()->Device(Wide(record.devicePath))->PlugGeneration();

    const size_t before = chain_.sink.Size();
    ASSERT_EQ(Apply(SimDeviceEvent::Unplug, record), S_OK);
    LONG_PTR first = 0, second = 99;
    ASSERT_TRUE(WaitForEvent(chain_.events.Get(), EC_DEVICE_LOST, 2000, &first, &second));
    EXPECT_EQ(first, reinterpret_cast<LONG_PTR>(tunerIdentity.Get()));
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(StaysQuiet(chain_.sink, before, 300));
    EXPECT_EQ(chain_.device->SetTunerMode(3), HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(Control()->CallLog()->Find(SimOp::SetTunerMode).back().Result,
              HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
    HRESULT hr = E_FAIL;
    auto listed = Enumerate(SimCategoryNetworkTuner, &hr);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].second, Tuners()[1].devicePath);
    std::vector<SimTunerEntry> numbered = SimDeviceEvents::Tuners();
    ASSERT_EQ(numbered.size(), 2u);
    EXPECT_EQ(numbered[0].Record.devicePath, record.devicePath);  // still tuner 1
    EXPECT_FALSE(numbered[0].Plugged);
    EXPECT_TRUE(numbered[1].Plugged);

    ASSERT_EQ(Apply(SimDeviceEvent::Replug, record), S_OK);
    second = 99;
    ASSERT_TRUE(WaitForEvent(chain_.events.Get(), EC_DEVICE_LOST, 2000, &first, &second));
    EXPECT_EQ(first, reinterpret_cast<LONG_PTR>(tunerIdentity.Get()));
    EXPECT_EQ(second, 1);
    listed = Enumerate(SimCategoryNetworkTuner, &hr);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].first, record.friendlyName);
    EXPECT_EQ(listed[0].second, record.devicePath);
    numbered = SimDeviceEvents::Tuners();
    ASSERT_EQ(numbered.size(), 2u);
    EXPECT_EQ(numbered[0].Record.instance, record.instance);
    EXPECT_TRUE(numbered[0].Plugged);
    EXPECT_EQ(Control()->Device(Wide(record.devicePath))->PlugGeneration(), opened + 1);
    // The old filter's handle is gone for good, even across Stop and Run.
    EXPECT_EQ(chain_.device->SetTunerMode(3), HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
    ASSERT_EQ(chain_.control->Stop(), S_OK);
    ASSERT_TRUE(SUCCEEDED(chain_.control->Run()));
    EXPECT_TRUE(StaysQuiet(chain_.sink, chain_.sink.Size(), 300));
    tunerIdentity.Reset();
    TearDownChain(&chain_);

    Chain fresh;
    BuildAndRun(record, &fresh);
    EXPECT_EQ(fresh.device->SetTunerMode(3), S_OK);
    EXPECT_GT(Level(fresh.device.Get()), 0);
    TearDownChain(&fresh);
}

// Runs the sender with `event` for `record` and returns how long after the
// sender recorded it this process's device showed `plugged` (ms), or -1.
long long FromAnotherProcess(SimDeviceEvent event, const SimDeviceRecord& record, bool plugged) {
    const uint64_t before = SimDeviceEvents::LastSequence();
    const std::string name = SimDeviceEventName(event);
    std::wstring command = L"\"" + std::wstring(SIM_EVENT_SENDER_EXE) + L"\" " +
                           std::wstring(name.begin(), name.end()) + L" \"" + record.devicePath +
                           L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    UniqueHandle processHandle, threadHandle;
    processHandle.Adopt(process.hProcess);
    threadHandle.Adopt(process.hThread);
    SimDevice* device = Control()->Device(Wide(record.devicePath));
    using Clock = std::chrono::steady_clock;
    Clock::time_point recorded{}, seen{};
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline && seen == Clock::time_point{}) {
        const Clock::time_point now = Clock::now();
        if (recorded == Clock::time_point{} && SimDeviceEvents::LastSequence() > before)
            recorded = now;
        if (device->State().Plugged == plugged) seen = now;
        Sleep(1);
    }
    DWORD code = 99;
    if (WaitForSingleObject(processHandle.Get(), 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(processHandle.Get(), &code);
    EXPECT_EQ(code, 0u) << "the sender failed";
    if (seen == Clock::time_point{} || recorded == Clock::time_point{}) return -1;
    if (seen < recorded) return 0;  // applied before this loop saw the record
    return std::chrono::duration_cast<std::chrono::milliseconds>(seen - recorded).count();
}

// simreg's way: another process unplugs and replugs the tuner while this one
// streams from it; this process's device follows within half a second (the
// watcher's 100 ms, measured from the moment the event is recorded) and the
// graph hears both, from the watcher's thread.
TEST_F(SimMisbehaviourTest, AnotherProcessUnplugsAndReplugsTheTunerOfARunningGraph) {
    const SimDeviceRecord& record = Tuners()[1];
    BuildAndRun(record, &chain_);

    const long long unplugMs = FromAnotherProcess(SimDeviceEvent::Unplug, record, false);
    std::printf("[ LATENCY  ] unplug from another process reached this one in %lld ms\n", unplugMs);
    ASSERT_GE(unplugMs, 0);
    EXPECT_LE(unplugMs, 2000);
    LONG_PTR first = 0, second = 99;
    ASSERT_TRUE(WaitForEvent(chain_.events.Get(), EC_DEVICE_LOST, 2000, &first, &second));
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(StaysQuiet(chain_.sink, chain_.sink.Size(), 200));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Enumerate(SimCategoryNetworkTuner, &hr).size(), 1u);

    const long long replugMs = FromAnotherProcess(SimDeviceEvent::Replug, record, true);
    std::printf("[ LATENCY  ] replug from another process reached this one in %lld ms\n", replugMs);
    ASSERT_GE(replugMs, 0);
    EXPECT_LE(replugMs, 2000);
    second = 99;
    ASSERT_TRUE(WaitForEvent(chain_.events.Get(), EC_DEVICE_LOST, 2000, &first, &second));
    EXPECT_EQ(second, 1);
    EXPECT_EQ(Enumerate(SimCategoryNetworkTuner, &hr).size(), 2u);
    EXPECT_EQ(Control()->CallLog()->Count(SimOp::Unplug), 1u);
    EXPECT_EQ(Control()->CallLog()->Count(SimOp::Replug), 1u);
}

}  // namespace

namespace {

// Unkinder, from another process and through the registry as simreg does:
// a tuner that leaves and comes back without telling its graph anything, a
// Run that waits for a device loading its firmware, and classes registered
// apartment-threaded as some makers' are.
TEST_F(SimMisbehaviourTest, TunerLeavesSilentlyRunsSlowlyAndIsRegisteredApartmentThreaded) {
    const SimDeviceRecord& record = Tuners()[1];
    BuildAndRun(record, &chain_);
    ASSERT_GE(FromAnotherProcess(SimDeviceEvent::SilentUnplug, record, false), 0);
    EXPECT_TRUE(StaysQuiet(chain_.sink, chain_.sink.Size(), 200));
    LONG_PTR first = 0, second = 0;
    EXPECT_FALSE(WaitForEvent(chain_.events.Get(), EC_DEVICE_LOST, 700, &first, &second))
        << "a silent unplug tells the graph nothing";
    EXPECT_EQ(chain_.device->SetTunerMode(3), HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Enumerate(SimCategoryNetworkTuner, &hr).size(), 1u) << "gone from the device list";
    ASSERT_GE(FromAnotherProcess(SimDeviceEvent::Replug, record, true), 0);
    EXPECT_FALSE(WaitForEvent(chain_.events.Get(), EC_DEVICE_LOST, 700, &first, &second))
        << "nor the replug that follows";
    EXPECT_EQ(Enumerate(SimCategoryNetworkTuner, &hr).size(), 2u);
    EXPECT_EQ(Control()->CallLog()->Count(SimOp::SilentUnplug), 1u);
    TearDownChain(&chain_);

    // The delay comes from the registry alone here, as another process sets it.
    ASSERT_EQ(SimDeviceEvents::SetRunDelay(record.devicePath, 800, nullptr), S_OK);
    EXPECT_EQ(SimDeviceEvents::SetRunDelay(record.devicePath, 60001, nullptr), E_INVALIDARG);
    Chain slow;
    BuildAndRun(record, &slow);
    ASSERT_EQ(slow.control->Stop(), S_OK);
    ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(SUCCEEDED(slow.control->Run()));
    EXPECT_GE(GetTickCount64() - start, 790u) << "Run returned before the device was ready";
    EXPECT_TRUE(Resumes(slow.sink, 2000));
    ASSERT_EQ(SimDeviceEvents::SetRunDelay(record.devicePath, 0, nullptr), S_OK);
    EXPECT_EQ(SimDeviceEvents::RunDelay(record.devicePath), 0u);
    TearDownChain(&slow);

    for (const wchar_t* model : {L"Apartment", L"Both"}) {
        ASSERT_EQ(SimRegistry::SetThreadingModel(model), S_OK);
        for (const GUID* clsid : {&CLSID_SimTunerFilter, &ClsidTesselNetworkProvider,
                                  &ClsidTesselNullTerminal})
            EXPECT_EQ(ReadClassThreading(*clsid).Text, model);
    }
    EXPECT_TRUE(AnyApartment(ReadClassThreading(CLSID_SimTunerFilter).Model));
    EXPECT_EQ(SimRegistry::SetThreadingModel(L"Free"), E_INVALIDARG);
}

}  // namespace
