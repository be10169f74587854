// Registration of the simulator's classes and device instances (the code
// behind simreg.exe and DllRegisterServer), against the test prefix's registry.
#include <gtest/gtest.h>

#include "sim/SimClassIds.h"
#include "sim/SimRegistryKey.h"
#include "tests/windows/SimTestHarness.h"

using namespace simtest;

namespace {

const GUID kScratchCategory = {
    0x5E5AC0DE, 0x0001, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};

class SimRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        SimRegistryKey::DeleteTree(HKEY_CLASSES_ROOT,
                                   L"CLSID\\" + SimRegistry::GuidText(kScratchCategory));
    }
};

TEST_F(SimRegistryTest, ServerKeysNameTheDllAndThreadingModelBoth) {
    SimRegistryKey server;
    ASSERT_EQ(server.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + SimRegistry::GuidText(CLSID_SimTunerFilter) +
                                                 L"\\InprocServer32"),
              ERROR_SUCCESS);
    std::wstring path, model;
    ASSERT_TRUE(server.GetString(nullptr, &path));
    ASSERT_TRUE(server.GetString(L"ThreadingModel", &model));
    EXPECT_EQ(model, L"Both");
    EXPECT_NE(path.find(L"TesselSim.dll"), std::wstring::npos);
}

TEST_F(SimRegistryTest, GuidTextIsBracedUpperCase) {
    EXPECT_EQ(SimRegistry::GuidText(CLSID_SimNetworkProvider),
              L"{AA8B6354-7993-47F9-8773-7279CDF30F07}");
}

TEST_F(SimRegistryTest, TunerInstanceIdsAreHexWithTheOrdinalAsLastDigit) {
    EXPECT_EQ(SimRegistry::TunerInstanceId(0), L"5a1c0000");
    EXPECT_EQ(SimRegistry::TunerInstanceId(11), L"5a1c000b");
    EXPECT_EQ(SimRegistry::ExpandTemplate(L"x#{id}#{n}#{id}", 2), L"x#5a1c0002#2#5a1c0002");
}

TEST_F(SimRegistryTest, DevicesAreListedInTheOrderTheyWereAdded) {
    for (const wchar_t* name : {L"first", L"second", L"third"}) {
        SimDeviceRecord record{L"", name, L"path", L"{00000000-0000-0000-0000-000000000000}"};
        ASSERT_EQ(SimRegistry::AddDevice(kScratchCategory, &record), S_OK);
    }
    const std::vector<SimDeviceRecord> listed = SimRegistry::List(kScratchCategory);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].friendlyName, L"first");
    EXPECT_EQ(listed[2].friendlyName, L"third");
    EXPECT_LT(listed[0].instance, listed[1].instance);
}

TEST_F(SimRegistryTest, ClearRemovesOnlyOurInstances) {
    SimRegistryKey foreign;
    const std::wstring root = L"CLSID\\" + SimRegistry::GuidText(kScratchCategory) + L"\\Instance";
    ASSERT_EQ(foreign.Create(HKEY_CLASSES_ROOT, root + L"\\{12345678-0000-0000-0000-000000000000}"),
              ERROR_SUCCESS);
    ASSERT_EQ(foreign.SetString(L"FriendlyName", L"not ours"), ERROR_SUCCESS);
    foreign.Reset();
    SimDeviceRecord ours{L"", L"ours", L"path", L"{}"};
    ASSERT_EQ(SimRegistry::AddDevice(kScratchCategory, &ours), S_OK);
    ASSERT_EQ(SimRegistry::ClearCategory(kScratchCategory), S_OK);
    const std::vector<SimDeviceRecord> left = SimRegistry::List(kScratchCategory);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].friendlyName, L"not ours");
}

TEST_F(SimRegistryTest, UnknownReceiverScenarioIsRefusedAndChangesNothing) {
    UseReceivers(L"pass-through");
    EXPECT_EQ(SimRegistry::SetReceiverScenario(L"bogus"), E_INVALIDARG);
    const auto receivers = SimRegistry::List(SimCategoryReceiverComponent);
    ASSERT_EQ(receivers.size(), 1u);
    EXPECT_EQ(receivers[0].clsid, SimRegistry::GuidText(CLSID_SimPassThroughReceiver));
    UseReceivers(L"none");
    EXPECT_TRUE(SimRegistry::List(SimCategoryReceiverComponent).empty());
}

TEST_F(SimRegistryTest, AddingTunersContinuesTheInstanceIds) {
    std::vector<SimDeviceRecord> added;
    ASSERT_EQ(SimRegistry::AddTuners(1, L"Extra", SimRegistry::DefaultPathTemplate(), &added), S_OK);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_NE(added[0].devicePath.find(SimRegistry::TunerInstanceId(
                  static_cast<unsigned>(Tuners().size()))),
              std::wstring::npos);
    SimRegistryKey::DeleteTree(HKEY_CLASSES_ROOT,
                               L"CLSID\\" + SimRegistry::GuidText(SimCategoryNetworkTuner) +
                                   L"\\Instance\\" + added[0].instance);
    EXPECT_EQ(SimRegistry::List(SimCategoryNetworkTuner).size(), Tuners().size());
}

}  // namespace
