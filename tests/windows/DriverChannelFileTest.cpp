// The channel file beside the DLL, end to end: a valid one replaces what the
// host lists and what the device is asked to tune; a broken one leaves the
// built-in plan, and bonhost info tells the user where and why.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/windows/DriverHarness.h"

using DriverChannelFile = DriverHarness;

namespace {

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

std::vector<uint8_t> Utf8Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// What Notepad writes as "Unicode": UTF-16 little-endian with its mark.
std::vector<uint8_t> Utf16Bytes(const std::wstring& text) {
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    for (wchar_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

// Runs `bonhost info --driver dll` and returns what it printed; *exitCode
// gets its exit code (-1 when it could not be run).
std::string BonhostInfo(const std::wstring& dll, DWORD* exitCode) {
    *exitCode = static_cast<DWORD>(-1);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return std::string();
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + std::wstring(HF_BONHOST_EXE) + L"\" info --driver \"" + dll + L"\"";
    const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD read = 0;
    while (started && ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read != 0)
        output.append(buffer, read);
    CloseHandle(readEnd);
    if (!started) return output;
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return output;
}

}  // namespace

TEST_F(DriverChannelFile, FileBesideARenamedDllIsListedAndTuned) {
    WriteIni("ISDBS", "Tessel Sim ISDB Tuner", DeviceIdOf(0), L"X");
    WriteBytes(folder_ + L"\\X.channels.txt",
               Utf16Bytes(L"# services moved\r\n"
                          L"CS110, ND24, 12731000, 0x7180\r\n"
                          L"BS, BS朝日 New, 11727480, 0x4012  # not in the built-in plan\r\n"
                          L"BS, BS1/TS0, 11727480, 0x4010\r\n"));
    // Another library's file, which this one must not read.
    WriteBytes(folder_ + L"\\BonDriver_TesselBDA.channels.txt",
               Utf8Bytes("BS, decoy, 11727480, 0x4010\n"));
    IBonDriver2* driver = LoadDriver(L"X");
    ASSERT_NE(driver, nullptr);
    EXPECT_STREQ(driver->EnumTuningSpace(0), L"CS110");
    EXPECT_STREQ(driver->EnumTuningSpace(1), L"BS");
    EXPECT_EQ(driver->EnumTuningSpace(2), nullptr);
    EXPECT_STREQ(driver->EnumChannelName(0, 0), L"ND24");
    EXPECT_EQ(driver->EnumChannelName(0, 1), nullptr);
    EXPECT_STREQ(driver->EnumChannelName(1, 0), L"BS朝日 New");
    EXPECT_STREQ(driver->EnumChannelName(1, 1), L"BS1/TS0");
    EXPECT_EQ(driver->EnumChannelName(1, 2), nullptr);

    ASSERT_TRUE(driver->OpenTuner());
    sim_->CallLog()->Clear();
    ASSERT_TRUE(driver->SetChannel(1u, 0u));
    ASSERT_EQ(Calls(SimOp::SetTuneRequest).size(), 1u);
    EXPECT_EQ(Calls(SimOp::SetFrequency).at(0).Bytes, FrequencyBytes(1049480, 9));
    EXPECT_EQ(Calls(SimOp::SetTuneRequest)[0].Bytes, RequestBytes(3, 0x4012, 1049480, 9));
    EXPECT_EQ(Calls(SimOp::SetPidFilterList).size(), 1u);  // the reset after a tune stays
    EXPECT_FALSE(Device()->State().HasChannel);  // that TS is not on the simulated air
    sim_->CallLog()->Clear();
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_EQ(Calls(SimOp::SetTuneRequest).size(), 1u);
    EXPECT_EQ(Calls(SimOp::SetTuneRequest)[0].Bytes, RequestBytes(4, 0x7180, 2053000, 9));
    ASSERT_TRUE(Device()->State().HasChannel);
    EXPECT_STREQ(Device()->State().Channel.Row->Name, L"ND24");

    DWORD exitCode = 0;
    const std::string info = BonhostInfo(folder_ + L"\\X.dll", &exitCode);
    EXPECT_EQ(exitCode, 0u) << info;
    EXPECT_NE(info.find("X.channels.txt (3 channels in 2 tuning spaces, in use)"), std::string::npos)
        << info;
}

TEST_F(DriverChannelFile, BrokenFileLeavesTheBuiltInPlanAndBonhostSaysWhy) {
    WriteDefaultIni("ISDBT");
    WriteBytes(folder_ + L"\\BonDriver_TesselBDA.channels.txt",
               Utf8Bytes("UFH, Local, 473143\r\nUFH, Far, 999999\r\n"));
    IBonDriver2* driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_STREQ(driver->EnumTuningSpace(0), L"UFH");
    EXPECT_STREQ(driver->EnumTuningSpace(1), L"CATV");
    EXPECT_STREQ(driver->EnumChannelName(0, 0), L"13ch");
    EXPECT_STREQ(driver->EnumChannelName(0, 49), L"62ch");
    EXPECT_EQ(driver->EnumChannelName(0, 50), nullptr);
    ASSERT_TRUE(driver->OpenTuner());
    sim_->CallLog()->Clear();
    ASSERT_TRUE(driver->SetChannel(0u, 1u));
    ASSERT_EQ(Calls(SimOp::SetTuneRequest).size(), 1u);
    EXPECT_EQ(Calls(SimOp::SetTuneRequest)[0].Bytes, RequestBytes(0, 0xFFFFFFFF, 479143, 6));

    DWORD exitCode = 0;
    const std::string info = BonhostInfo(folder_ + L"\\BonDriver_TesselBDA.dll", &exitCode);
    EXPECT_EQ(exitCode, 0u) << info;
    EXPECT_NE(info.find("*** CHANNEL FILE REFUSED ***"), std::string::npos) << info;
    EXPECT_NE(info.find("BonDriver_TesselBDA.channels.txt, line 2: frequency 999999 kHz is outside "
                        "UFH (470000-770000 kHz)"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("  49: 62ch"), std::string::npos) << info;
}
