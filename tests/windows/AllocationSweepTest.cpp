// The allocation-failure sweep: the driver built into a DLL of its own name
// (BonDriver_AllocationSweep.dll, whose operator new can be made to fail at
// the Nth allocation of one thread) is driven through CreateBonDriver,
// OpenTuner, SetChannel, a rebuild on the recovery thread and Release, with
// N = 1, 2, ... until the call no longer meets a failure. Each failing call
// gives its failure answer, leaves no block and no thread behind, and the
// next call works.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <string>

#include "sim/SimDeviceEvents.h"
#include "tests/windows/DriverHarness.h"

namespace {

const wchar_t SweepBase[] = L"BonDriver_AllocationSweep";
constexpr long MostAllocations = 5000;  // a sweep that runs past this never ends

typedef IBonDriver* (*CreateFunction)();
typedef void (*ArmFunction)(DWORD, long);
typedef long (*CountFunction)();

std::set<DWORD> ThreadsOfThisProcess() {
    std::set<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return threads;
}

// The thread of this process that carries `name` (SetThreadDescription), or 0.
DWORD ThreadNamed(const wchar_t* name) {
    typedef HRESULT(WINAPI * Describe)(HANDLE, PWSTR*);
    const Describe describe = reinterpret_cast<Describe>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (describe == nullptr) return 0;
    for (DWORD id : ThreadsOfThisProcess()) {
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (thread == nullptr) continue;
        PWSTR text = nullptr;
        const bool match = SUCCEEDED(describe(thread, &text)) && text != nullptr &&
                           std::wstring(text) == name;
        LocalFree(text);
        CloseHandle(thread);
        if (match) return id;
    }
    return 0;
}

// The threads not in `before`, with their descriptions.
std::string NewThreads(const std::set<DWORD>& before) {
    typedef HRESULT(WINAPI * Describe)(HANDLE, PWSTR*);
    const Describe describe = reinterpret_cast<Describe>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    std::string text;
    for (DWORD id : ThreadsOfThisProcess()) {
        if (before.count(id) != 0) continue;
        text += " " + std::to_string(id);
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
        PWSTR name = nullptr;
        if (thread != nullptr && describe != nullptr && SUCCEEDED(describe(thread, &name)) &&
            name != nullptr)
            text += " \"" + std::string(name, name + wcslen(name)) + "\"";
        LocalFree(name);
        if (thread != nullptr) CloseHandle(thread);
    }
    return text;
}

class AllocationSweep : public DriverHarness {
protected:
    void SetUp() override {
        DriverHarness::SetUp();
        WriteIni("ISDBT", "Tessel Sim ISDB Tuner", DeviceIdOf(0), SweepBase);
        const std::wstring path = folder_ + L"\\" + SweepBase + L".dll";
        ASSERT_TRUE(CopyFileW(HF_SWEEP_DLL, path.c_str(), FALSE));
        module_ = LoadLibraryW(path.c_str());
        ASSERT_NE(module_, nullptr);
        create_ = Function<CreateFunction>("CreateBonDriver");
        arm_ = Function<ArmFunction>("AllocationSweepArm");
        fired_ = Function<CountFunction>("AllocationSweepFired");
        live_ = Function<CountFunction>("AllocationSweepLive");
        ASSERT_TRUE(create_ && arm_ && fired_ && live_);
    }
    // Where the last failure was asked for, as offsets in the sweep DLL.
    std::string Where() {
        typedef int (*WhereFunction)(uintptr_t*, int);
        uintptr_t offsets[12] = {};
        const int count = Function<WhereFunction>("AllocationSweepWhere")(offsets, 12);
        std::string text;
        char one[24];
        for (int i = 0; i < count; ++i) {
            std::snprintf(one, sizeof one, " 0x%llx", static_cast<unsigned long long>(offsets[i]));
            text += one;
        }
        return text;
    }
    template <class F>
    F Function(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    // Runs `call` with the nth allocation on `thread` failing; whether that
    // allocation was reached.
    template <class Call>
    bool Armed(DWORD thread, long n, Call call) {
        const long before = fired_();
        arm_(thread, n);
        call();
        arm_(0, 0);
        return fired_() != before;
    }
    IBonDriver2* Create() { return static_cast<IBonDriver2*>(create_()); }
    bool Streams(IBonDriver2* driver, DWORD ms) {
        driver->PurgeTsStream();
        return WaitUntil([&] { return driver->GetReadyCount() > 1; }, ms);
    }

    CreateFunction create_ = nullptr;
    ArmFunction arm_ = nullptr;
    CountFunction fired_ = nullptr;
    CountFunction live_ = nullptr;
};

}  // namespace

TEST_F(AllocationSweep, EveryCallGivesItsFailureAnswerLeavesNothingAndTheNextCallWorks) {
    ExtendBound(900);
    const DWORD self = GetCurrentThreadId();
    // What the library keeps while it is loaded (the channel plan) is made
    // by a first whole session.
    IBonDriver2* driver = Create();
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->OpenTuner());
    driver->CloseTuner();
    driver->Release();
    const long idle = live_();
    const std::set<DWORD> idleThreads = ThreadsOfThisProcess();

    long created = 0;
    for (long n = 1; n < MostAllocations; ++n) {
        IBonDriver2* made = nullptr;
        if (!Armed(self, n, [&] { made = Create(); })) {
            ASSERT_NE(made, nullptr) << "CreateBonDriver with every allocation granted";
            created = n;
            break;
        }
        // An object without its graph object is a failure answer too: it
        // opens no tuner. Either way nothing of the attempt may stay.
        if (made != nullptr) {
            if (made->OpenTuner()) made->CloseTuner();
            made->Release();
        }
        EXPECT_EQ(live_(), idle) << "CreateBonDriver failing at allocation " << n;
        IBonDriver2* next = Create();
        ASSERT_NE(next, nullptr) << "the CreateBonDriver after allocation " << n << " failed";
        next->Release();
    }
    EXPECT_GT(created, 1) << "CreateBonDriver allocates";

    driver = Create();
    ASSERT_NE(driver, nullptr);
    // A first open makes what a closed tuner then keeps (the queue's buffers go).
    ASSERT_TRUE(driver->OpenTuner());
    driver->CloseTuner();
    const long closed = live_();
    long opened = 0;
    for (long n = 1; n < MostAllocations; ++n) {
        BOOL ok = FALSE;
        if (!Armed(self, n, [&] { ok = driver->OpenTuner(); })) {
            ASSERT_TRUE(ok);
            opened = n;
            break;
        }
        if (ok) {
            // Absorbed (a thread that could not start): it still streams.
            EXPECT_TRUE(driver->SetChannel(0u, 0u));
            driver->CloseTuner();
        } else {
            EXPECT_FALSE(driver->IsTunerOpening()) << "OpenTuner failing at allocation " << n << Where();
            EXPECT_EQ(driver->WaitTsStream(10), 128u);
        }
        EXPECT_EQ(live_(), closed) << "OpenTuner failing at allocation " << n;
        ASSERT_TRUE(driver->OpenTuner()) << "the OpenTuner after allocation " << n << " failed";
        driver->CloseTuner();
        EXPECT_EQ(live_(), closed);
    }
    EXPECT_GT(opened, 1) << "OpenTuner allocates";
    ASSERT_TRUE(driver->OpenTuner());
    const DWORD recovery = ThreadNamed(L"BonDriver_TesselBDA tuner recovery");

    for (long n = 1; n < MostAllocations; ++n) {
        BOOL ok = FALSE;
        if (!Armed(self, n, [&] { ok = driver->SetChannel(0u, static_cast<DWORD>(n % 3)); })) {
            ASSERT_TRUE(ok);
            break;
        }
        EXPECT_TRUE(driver->SetChannel(0u, 0u)) << "the SetChannel after allocation " << n;
    }
    ASSERT_TRUE(driver->SetChannel(0u, 0u));
    ASSERT_TRUE(Streams(driver, 5000));

    if (recovery == 0) {
        std::printf("[ SKIPPED  ] the rebuild's part: no thread description on this system\n");
    } else {
        long rebuilt = 0;
        for (long n = 1; n < MostAllocations; ++n) {
            const size_t opens = Calls(SimOp::SetTunerMode).size();
            const bool reached = Armed(recovery, n, [&] {
                ASSERT_TRUE(SUCCEEDED(SimDeviceEvents::Apply(SimDeviceEvent::Abort, tuners_.at(0).devicePath)));
                // The rebuild has begun (or failed before its graph) when
                // the first set-up operation went out or a moment passed.
                WaitUntil([&] { return Calls(SimOp::SetTunerMode).size() > opens; }, 1500);
                Sleep(200);
            });
            // The next attempt, after its back-off, brings the stream back.
            EXPECT_TRUE(Streams(driver, 15000)) << "no stream after a rebuild failing at allocation " << n;
            EXPECT_TRUE(driver->IsTunerOpening());
            if (!reached) {
                rebuilt = n;
                break;
            }
        }
        EXPECT_GT(rebuilt, 1) << "a rebuild allocates";
        std::printf("[ SWEEP    ] allocations: CreateBonDriver %ld, OpenTuner %ld, rebuild %ld\n",
                    created - 1, opened - 1, rebuilt - 1);
    }

    driver->CloseTuner();
    EXPECT_EQ(live_(), closed) << "a closed tuner holds what it held before the sweep";
    for (long n = 1; n < MostAllocations; ++n)
        if (!Armed(self, n, [&] { driver->Release(); })) break;
    EXPECT_FALSE(driver->IsTunerOpening());
    EXPECT_LE(live_(), idle) << "blocks left after the last Release";
    EXPECT_TRUE(WaitUntil([&] { return ThreadsOfThisProcess().size() <= idleThreads.size(); }, 2000))
        << "threads left after the last Release:" << NewThreads(idleThreads);
    IBonDriver2* last = Create();
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->OpenTuner());
    last->Release();
}
