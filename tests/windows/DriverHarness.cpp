#include "tests/windows/DriverHarness.h"

#include <cstdio>
#include <cstring>

#include "platform/TuneRequest.h"
#include "sim/SimDeviceEvents.h"
#include "sim/SimReplayRegistry.h"
#include "sim/SimSourceRegistry.h"

SimControl* DriverHarness::sim_ = nullptr;

namespace {

HMODULE SimModuleHandle = nullptr;

// One thread for the whole program watches the test under way. A test that
// overruns its bound is named on stderr and the process is terminated at
// once (ExitProcess could itself block on the hung threads' locks).
class HangWatchdog {
public:
    static HangWatchdog& Instance() {
        static HangWatchdog watchdog;
        return watchdog;
    }
    void Arm(const std::string& test, DWORD seconds) {
        EnterCriticalSection(&lock_);
        test_ = test;
        seconds_ = seconds;
        deadline_ = GetTickCount64() + 1000ull * seconds;
        LeaveCriticalSection(&lock_);
    }
    void Disarm() {
        EnterCriticalSection(&lock_);
        deadline_ = 0;
        LeaveCriticalSection(&lock_);
    }

private:
    HangWatchdog() {
        InitializeCriticalSection(&lock_);
        HANDLE thread = CreateThread(nullptr, 0, &HangWatchdog::Watch, this, 0, nullptr);
        if (thread != nullptr) CloseHandle(thread);
    }
    static DWORD WINAPI Watch(void* self) {
        static_cast<HangWatchdog*>(self)->Loop();
        return 0;
    }
    void Loop() {
        for (;;) {
            Sleep(250);
            EnterCriticalSection(&lock_);
            const bool expired = deadline_ != 0 && GetTickCount64() > deadline_;
            const std::string test = test_;
            const DWORD seconds = seconds_;
            LeaveCriticalSection(&lock_);
            if (!expired) continue;
            std::fprintf(stderr, "\n[ WATCHDOG ] %s did not finish within %lu s; ending the program\n",
                         test.c_str(), static_cast<unsigned long>(seconds));
            std::fflush(stderr);
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }

    CRITICAL_SECTION lock_;
    std::string test_;
    DWORD seconds_ = 0;
    ULONGLONG deadline_ = 0;
};

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // test texts are ASCII
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") DeleteFileW((folder + L"\\" + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

void DriverHarness::SetUpTestSuite() {
    if (sim_ != nullptr) return;
    ASSERT_TRUE(SUCCEEDED(SimRegistry::RegisterServer(HF_SIM_DLL)));
    // Channel sources a demo run left in this prefix would reach every test.
    ASSERT_TRUE(SUCCEEDED(SimSourceRegistry::Clear()));
    ASSERT_TRUE(SUCCEEDED(SimReplayRegistry::Clear()));
    SimModuleHandle = LoadLibraryW(HF_SIM_DLL);
    ASSERT_NE(SimModuleHandle, nullptr);
    typedef SimControl* (*GetControl)();
    GetControl get = reinterpret_cast<GetControl>(
        reinterpret_cast<void*>(GetProcAddress(SimModuleHandle, "SimGetControl")));
    ASSERT_NE(get, nullptr);
    sim_ = get();
    ASSERT_NE(sim_, nullptr);
}

void DriverHarness::SetUp() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    HangWatchdog::Instance().Arm(std::string(test->test_suite_name()) + "." + test->name(),
                                 DriverTestBoundSeconds);
    ASSERT_NE(sim_, nullptr);
    // Tuners an earlier test unplugged come back, and its recorded events go.
    ASSERT_TRUE(SUCCEEDED(SimDeviceEvents::Forget()));
    ASSERT_TRUE(SUCCEEDED(SimRegistry::SetThreadingModel(L"Both")));
    sim_->Reset();
    RegisterTuners(1, DefaultName);
    SetReceivers(L"none");
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::wstring(temp) + L"hfdrv_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::wstring(info->name(), info->name() + std::strlen(info->name()));
    RemoveFolder(folder_);
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
}

void DriverHarness::ExtendBound(DWORD seconds) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    HangWatchdog::Instance().Arm(std::string(test->test_suite_name()) + "." + test->name(),
                                 seconds);
}

void DriverHarness::TearDown() {
    ReleaseDriver();
    RemoveFolder(folder_);
    HangWatchdog::Instance().Disarm();
}

void DriverHarness::RegisterTuners(unsigned count, const std::wstring& name) {
    ASSERT_TRUE(SUCCEEDED(SimRegistry::ClearCategory(SimCategoryNetworkTuner)));
    tuners_.clear();
    ASSERT_TRUE(SUCCEEDED(
        SimRegistry::AddTuners(count, name, SimRegistry::DefaultPathTemplate(), &tuners_)));
}

void DriverHarness::SetReceivers(const wchar_t* scenario) {
    ASSERT_TRUE(SUCCEEDED(SimRegistry::SetReceiverScenario(scenario)));
}

void DriverHarness::WriteIni(const std::string& network, const std::string& tunerName,
                             const std::string& deviceId, const std::wstring& dllBase) {
    std::FILE* file = _wfopen((folder_ + L"\\" + dllBase + L".ini").c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "[FRONTEND]\r\n");
    if (!network.empty()) std::fprintf(file, "NetworkName=%s\r\n", network.c_str());
    if (!tunerName.empty()) std::fprintf(file, "TunerFrendlyName=%s\r\n", tunerName.c_str());
    if (!deviceId.empty()) std::fprintf(file, "DeviceID=%s\r\n", deviceId.c_str());
    std::fclose(file);
}

void DriverHarness::WriteDefaultIni(const std::string& network) {
    WriteIni(network, Narrow(DefaultName), DeviceIdOf(0));
}

std::string DriverHarness::DeviceIdOf(size_t index) const {
    // The instance identifier is hexadecimal; its last digit selects it.
    const std::wstring& path = tuners_.at(index).devicePath;
    size_t end = path.rfind(L'#');
    wchar_t digit = path.at(end - 1);
    int value = digit <= L'9' ? digit - L'0' : (digit | 0x20) - L'a' + 10;
    return std::to_string(value);
}

IBonDriver2* DriverHarness::LoadDriver(const std::wstring& dllBase) {
    std::wstring path = folder_ + L"\\" + dllBase + L".dll";
    EXPECT_TRUE(CopyFileW(HF_DRIVER_DLL, path.c_str(), FALSE));
    module_ = LoadLibraryW(path.c_str());
    EXPECT_NE(module_, nullptr);
    if (module_ == nullptr) return nullptr;
    typedef IBonDriver* (*Create)();
    Create create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateBonDriver")));
    EXPECT_NE(create, nullptr);
    driver_ = create != nullptr ? static_cast<IBonDriver2*>(create()) : nullptr;
    return driver_;
}

IBonDriver2* DriverHarness::OpenDefault(const std::string& network) {
    WriteDefaultIni(network);
    IBonDriver2* driver = LoadDriver();
    EXPECT_NE(driver, nullptr);
    if (driver == nullptr) return nullptr;
    EXPECT_TRUE(driver->OpenTuner());
    return driver;
}

void DriverHarness::ReleaseDriver() {
    if (driver_ != nullptr) driver_->Release();
    driver_ = nullptr;
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

SimDevice* DriverHarness::Device(size_t index) {
    return sim_->Device(tuners_.at(index).devicePath.c_str());
}

std::vector<uint8_t> FrequencyBytes(uint32_t frequency, uint32_t bandwidth) {
    TuneFrequency tail = {frequency, 1000, bandwidth};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&tail);
    return std::vector<uint8_t>(bytes, bytes + sizeof tail);
}

std::vector<uint8_t> RequestBytes(uint32_t systemType, uint32_t tsid, uint32_t frequency,
                                  uint32_t bandwidth) {
    TuneRequest request;
    std::memset(&request, 0, sizeof request);
    request.SystemType = systemType;
    request.Tsid = tsid;
    request.Tail = {frequency, 1000, bandwidth};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&request);
    return std::vector<uint8_t>(bytes, bytes + sizeof request);
}
