// The maker's driver is reached only through method-table positions. This
// test builds an object whose table is 45 hand-made entries, entry k a
// function that records k and its arguments, then calls every operation
// through the declared interface: a misplaced or mistyped declaration shows
// as a wrong slot or as arguments arriving out of order.
#include <gtest/gtest.h>

#include <cstring>
#include <typeinfo>
#include <utility>
#include <vector>

#include "platform/TunerDeviceControl.h"

namespace {

constexpr int SlotCount = 45;

struct Call {
    int Slot;
    uintptr_t Self;
    std::vector<uintptr_t> Args;
};

std::vector<Call>& Log() {
    static std::vector<Call> log;
    return log;
}

// Each entry takes exactly as many pointer-sized arguments as the declared
// method, so the call and the entry agree on the stack on every target.
template <int K, typename... Args>
HRESULT STDMETHODCALLTYPE Record(uintptr_t self, Args... args) {
    Log().push_back(Call{K, self, {static_cast<uintptr_t>(args)...}});
    return static_cast<HRESULT>(0x100 + K);
}

template <size_t>
using Word = uintptr_t;

using Entry = void (*)();

template <int K, size_t... I>
Entry MakeEntry(std::index_sequence<I...>) {
    return reinterpret_cast<Entry>(&Record<K, Word<I>...>);
}

// Arguments per slot (besides the object) as the device implements them.
constexpr size_t Arity[SlotCount] = {
    2, 0, 0, 1, 0, 1, 0, 0, 1, 1,  // 0-9
    0, 0, 0, 3, 0, 0, 0, 0, 0, 0,  // 10-19
    0, 0, 0, 1, 1, 1, 0, 0, 0, 1,  // 20-29
    0, 0, 1, 0, 0, 4, 0, 0, 0, 0,  // 30-39
    1, 2, 0, 0, 3,                 // 40-44
};

// Two words precede the entries, as in a compiler-made table: the offset to
// the full object and its type information. Sanitizer builds check both on
// every virtual call, so the fake object claims to be a TunerDeviceControl.
constexpr size_t TableHeader = 2;

template <size_t... K>
std::vector<uintptr_t> MakeTable(std::index_sequence<K...>) {
    return {0, reinterpret_cast<uintptr_t>(&typeid(TunerDeviceControl)),
            reinterpret_cast<uintptr_t>(MakeEntry<int(K)>(std::make_index_sequence<Arity[K]>()))...};
}

struct FakeObject {
    uintptr_t* Table;
};

class TunerDeviceControlTable : public ::testing::Test {
protected:
    void SetUp() override {
        Log().clear();
        object_.Table = table_.data() + TableHeader;
        device_ = reinterpret_cast<TunerDeviceControl*>(&object_);
    }

    // The single call recorded since the last check.
    Call Only() {
        EXPECT_EQ(Log().size(), 1u);
        Call call = Log().empty() ? Call{-1, 0, {}} : Log().back();
        Log().clear();
        EXPECT_EQ(call.Self, reinterpret_cast<uintptr_t>(&object_));
        return call;
    }

    static uint32_t Low32(uintptr_t value) { return static_cast<uint32_t>(value); }
    static uintptr_t Address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

    std::vector<uintptr_t> table_ = MakeTable(std::make_index_sequence<SlotCount>());
    FakeObject object_{};
    TunerDeviceControl* device_ = nullptr;
};

}  // namespace

TEST_F(TunerDeviceControlTable, UnknownMethodsComeFirst) {
    void* out = nullptr;
    EXPECT_EQ(device_->QueryInterface(IID_TunerDeviceControl, &out), 0x100);
    Call call = Only();
    EXPECT_EQ(call.Slot, 0);
    ASSERT_EQ(call.Args.size(), 2u);
    EXPECT_EQ(call.Args[0], Address(&IID_TunerDeviceControl));  // the IID goes by reference
    EXPECT_EQ(call.Args[1], Address(&out));

    EXPECT_EQ(device_->AddRef(), 0x101u);
    EXPECT_EQ(Only().Slot, 1);
    EXPECT_EQ(device_->Release(), 0x102u);
    EXPECT_EQ(Only().Slot, 2);
}

TEST_F(TunerDeviceControlTable, TuningOperations) {
    EXPECT_EQ(device_->SetTunerMode(7), 0x103);
    Call call = Only();
    EXPECT_EQ(call.Slot, 3);
    EXPECT_EQ(Low32(call.Args.at(0)), 7u);

    TuneFrequency frequency{};
    EXPECT_EQ(device_->SetFrequency(&frequency), 0x105);
    call = Only();
    EXPECT_EQ(call.Slot, 5);
    EXPECT_EQ(call.Args.at(0), Address(&frequency));

    SignalStatistics statistics{};
    device_->GetSignalStatistics(&statistics);
    call = Only();
    EXPECT_EQ(call.Slot, 8);
    EXPECT_EQ(call.Args.at(0), Address(&statistics));

    TuneRequest request{};
    device_->SetTuneRequest(&request);
    call = Only();
    EXPECT_EQ(call.Slot, 9);
    EXPECT_EQ(call.Args.at(0), Address(&request));
}

TEST_F(TunerDeviceControlTable, RemoteKeyReadPassesSelectorThenBothHolders) {
    uint32_t code = 0;
    uint8_t key = 0;
    EXPECT_EQ(device_->ReadRemoteControlKey(3, &code, &key), 0x10D);
    Call call = Only();
    EXPECT_EQ(call.Slot, 13);
    ASSERT_EQ(call.Args.size(), 3u);
    EXPECT_EQ(Low32(call.Args[0]), 3u);
    EXPECT_EQ(call.Args[1], Address(&code));
    EXPECT_EQ(call.Args[2], Address(&key));
}

TEST_F(TunerDeviceControlTable, LnbPowerOperations) {
    device_->CheckLNBPowerCircuit(11);
    Call call = Only();
    EXPECT_EQ(call.Slot, 23);
    EXPECT_EQ(Low32(call.Args.at(0)), 11u);
    device_->SetLNBPower(1);
    call = Only();
    EXPECT_EQ(call.Slot, 24);
    EXPECT_EQ(Low32(call.Args.at(0)), 1u);
    device_->GetLNBPower(22);
    call = Only();
    EXPECT_EQ(call.Slot, 25);
    EXPECT_EQ(Low32(call.Args.at(0)), 22u);
}

TEST_F(TunerDeviceControlTable, CardOperations) {
    device_->SetTransportStreanEncryptionFlag(1);
    Call call = Only();
    EXPECT_EQ(call.Slot, 29);
    EXPECT_EQ(Low32(call.Args.at(0)), 1u);

    device_->ResetCard();
    call = Only();
    EXPECT_EQ(call.Slot, 31);
    EXPECT_TRUE(call.Args.empty());

    uint32_t present = 0;
    device_->GetCardStatus(&present);
    call = Only();
    EXPECT_EQ(call.Slot, 32);
    EXPECT_EQ(call.Args.at(0), Address(&present));

    const uint8_t command[5] = {0x90, 0x30, 0x00, 0x00, 0x00};
    uint8_t response[512];
    EXPECT_EQ(device_->TransmitCardCommand(command, 5, response, 512), 0x123);
    call = Only();
    EXPECT_EQ(call.Slot, 35);
    ASSERT_EQ(call.Args.size(), 4u);
    EXPECT_EQ(call.Args[0], Address(command));
    EXPECT_EQ(Low32(call.Args[1]), 5u);
    EXPECT_EQ(call.Args[2], Address(response));
    EXPECT_EQ(Low32(call.Args[3]), 512u);
}

TEST_F(TunerDeviceControlTable, PidFilterOperations) {
    device_->EnablePidFilter(1);
    Call call = Only();
    EXPECT_EQ(call.Slot, 40);
    EXPECT_EQ(Low32(call.Args.at(0)), 1u);

    const uint16_t pids[3] = {0x0000, 0x0010, 0x1FFF};
    device_->SetPidFilterList(3, pids);
    call = Only();
    EXPECT_EQ(call.Slot, 41);
    ASSERT_EQ(call.Args.size(), 2u);
    EXPECT_EQ(Low32(call.Args[0]), 3u);
    EXPECT_EQ(call.Args[1], Address(pids));
}

TEST_F(TunerDeviceControlTable, FactoryWriteIsTheLastSlot) {
    EXPECT_EQ(device_->FactoryModeWriteManufacturerProductSerialNumber(0x1111, 0x2222, 0x33334444), 0x12C);
    Call call = Only();
    EXPECT_EQ(call.Slot, 44);
    ASSERT_EQ(call.Args.size(), 3u);
    EXPECT_EQ(Low32(call.Args[0]), 0x1111u);
    EXPECT_EQ(Low32(call.Args[1]), 0x2222u);
    EXPECT_EQ(Low32(call.Args[2]), 0x33334444u);
}

TEST_F(TunerDeviceControlTable, PlaceholdersKeepTheirPositions) {
    using Placeholder = HRESULT (STDMETHODCALLTYPE TunerDeviceControl::*)();
    const std::pair<Placeholder, int> placeholders[] = {
        {&TunerDeviceControl::Reserved4, 4},   {&TunerDeviceControl::Reserved6, 6},
        {&TunerDeviceControl::Reserved7, 7},   {&TunerDeviceControl::Reserved10, 10},
        {&TunerDeviceControl::Reserved11, 11}, {&TunerDeviceControl::Reserved12, 12},
        {&TunerDeviceControl::Reserved14, 14}, {&TunerDeviceControl::Reserved15, 15},
        {&TunerDeviceControl::Reserved16, 16}, {&TunerDeviceControl::Reserved17, 17},
        {&TunerDeviceControl::Reserved18, 18}, {&TunerDeviceControl::Reserved19, 19},
        {&TunerDeviceControl::Reserved20, 20}, {&TunerDeviceControl::Reserved21, 21},
        {&TunerDeviceControl::Reserved22, 22}, {&TunerDeviceControl::Reserved26, 26},
        {&TunerDeviceControl::Reserved27, 27}, {&TunerDeviceControl::Reserved28, 28},
        {&TunerDeviceControl::Reserved30, 30}, {&TunerDeviceControl::Reserved33, 33},
        {&TunerDeviceControl::Reserved34, 34}, {&TunerDeviceControl::Reserved36, 36},
        {&TunerDeviceControl::Reserved37, 37}, {&TunerDeviceControl::Reserved38, 38},
        {&TunerDeviceControl::Reserved39, 39}, {&TunerDeviceControl::Reserved42, 42},
        {&TunerDeviceControl::Reserved43, 43},
    };
    for (const auto& placeholder : placeholders) {
        EXPECT_EQ((device_->*placeholder.first)(), 0x100 + placeholder.second);
        Call call = Only();
        EXPECT_EQ(call.Slot, placeholder.second);
        EXPECT_TRUE(call.Args.empty()) << placeholder.second;
    }
}

TEST(TunerDeviceControlIid, BytesMatchTheDriverInterface) {
    // {9365A8E3-08AC-44CD-8363-D88232B7B718}, in GUID memory order.
    const uint8_t expected[16] = {0xE3, 0xA8, 0x65, 0x93, 0xAC, 0x08, 0xCD, 0x44,
                                  0x83, 0x63, 0xD8, 0x82, 0x32, 0xB7, 0xB7, 0x18};
    static_assert(sizeof(IID_TunerDeviceControl) == 16, "a GUID is 16 bytes");
    EXPECT_EQ(std::memcmp(&IID_TunerDeviceControl, expected, sizeof(expected)), 0);
    EXPECT_EQ(IID_TunerDeviceControl.Data1, 0x9365A8E3u);
    EXPECT_EQ(IID_TunerDeviceControl.Data2, 0x08AC);
    EXPECT_EQ(IID_TunerDeviceControl.Data3, 0x44CD);
}
