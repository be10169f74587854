// Test fixture that drives BonDriver_TesselBDA.dll like a host: the DLL is
// copied into a folder of its own per test (so each test chooses the INI and
// even the DLL's name), loaded by path, and created through CreateBonDriver.
// The simulated Tessel tuner (TesselSim.dll) is registered in the test's Wine
// prefix and loaded from the same path the COM runtime uses, so
// SimGetControl() shares the state of the filters the driver builds.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/IBonDriver.h"
#include "sim/SimClassIds.h"
#include "sim/SimControl.h"
#include "sim/SimRegistry.h"

// Seconds one test (set-up and tear-down included) may take before the
// watchdog reports it and ends the program: a hang inside Wine's graph
// manager or the driver must fail this program, not stall the whole run.
constexpr DWORD DriverTestBoundSeconds = 90;

class DriverHarness : public ::testing::Test {
protected:
    static void SetUpTestSuite();

    // Arms the watchdog; one tuner named DefaultName, no receiver component,
    // the simulator at its defaults, an empty test folder.
    void SetUp() override;
    // Releases the driver, unloads it, removes the folder, disarms the watchdog.
    void TearDown() override;

    // Replaces the registered tuners by `count` ones called `name`.
    void RegisterTuners(unsigned count, const std::wstring& name);
    void SetReceivers(const wchar_t* scenario);

    // Writes `<dllBase>.ini` into the folder; an empty value leaves the key out.
    void WriteIni(const std::string& network, const std::string& tunerName,
                  const std::string& deviceId, const std::wstring& dllBase = L"BonDriver_TesselBDA");
    // The default INI: ISDBT, DefaultName, DeviceID of the first tuner.
    void WriteDefaultIni(const std::string& network = "ISDBT");

    // Copies the DLL as `<dllBase>.dll`, loads it and creates the driver.
    IBonDriver2* LoadDriver(const std::wstring& dllBase = L"BonDriver_TesselBDA");
    // Default INI, load, OpenTuner (asserted).
    IBonDriver2* OpenDefault(const std::string& network = "ISDBT");
    void ReleaseDriver();
    // Gives the running test `seconds` from now before the watchdog ends the
    // program, for a scenario that is long by design.
    void ExtendBound(DWORD seconds);

    // The simulated device behind tuner `index`.
    SimDevice* Device(size_t index = 0);
    std::vector<SimCall> Calls(SimOp op) const { return sim_->CallLog()->Find(op); }
    int64_t Alive(SimObject kind) const { return sim_->Counters()->Alive(kind); }

    // DeviceID digit of a registered tuner, as text.
    std::string DeviceIdOf(size_t index) const;

    static constexpr const wchar_t* DefaultName = L"Tessel Sim ISDB Tuner";
    static SimControl* sim_;

    std::wstring folder_;
    HMODULE module_ = nullptr;
    IBonDriver2* driver_ = nullptr;
    std::vector<SimDeviceRecord> tuners_;
};

// Waits (polling, at most `ms`) until `condition` holds; returns whether it did.
template <class Condition>
bool WaitUntil(Condition condition, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 10) {
        if (condition()) return true;
        Sleep(10);
    }
    return condition();
}

// Bytes of a TuneFrequency / TuneRequest as the call log stores them.
std::vector<uint8_t> FrequencyBytes(uint32_t frequency, uint32_t bandwidth);
std::vector<uint8_t> RequestBytes(uint32_t systemType, uint32_t tsid, uint32_t frequency,
                                  uint32_t bandwidth);
