// The allocator of the allocation-failure sweep's DLL (never the shipped
// one): operator new of every form, counted, made to fail once at the Nth
// allocation of one chosen thread. The sweep drives it through three
// exports of its own:
//   AllocationSweepArm(thread, n)  the nth allocation on `thread` from now
//                                  fails (n 0: none does)
//   AllocationSweepFired()         how many armed failures happened so far
//   AllocationSweepLive()          blocks allocated and not freed
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

extern "C" __declspec(dllexport) int AllocationSweepWhere(uintptr_t* offsets, int most);

namespace {

std::atomic<DWORD> armedThread{0};
std::atomic<long> countdown{0};
std::atomic<long> fired{0};
std::atomic<long> live{0};
// Where the last armed failure was asked for (a few return addresses).
void* failedAt[12] = {};
USHORT failedFrames = 0;

HMODULE ThisModule() {
    static HMODULE self = [] {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&ThisModule), &module);
        return module;
    }();
    return self;
}

bool InThisModule(void* address) {
    HMODULE owner = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &owner) &&
           owner == ThisModule();
}

// An allocation this library makes inside another module's call into it (a
// filter's method that Wine's graph manager calls) is not the driver's to
// handle: Wine's graph manager does not survive a filter whose EnumPins
// fails for want of memory. Only the driver's own calls are swept.
bool InsideAForeignCall() {
    void* frames[48] = {};
    const USHORT count = RtlCaptureStackBackTrace(2, 48, frames, nullptr);
    bool foreign = false;
    for (USHORT i = 0; i < count; ++i) {
        const bool ours = InThisModule(frames[i]);
        if (!ours) foreign = true;
        else if (foreign) return true;
    }
    return false;
}

void* Allocate(size_t size) {
    if (armedThread.load(std::memory_order_relaxed) == GetCurrentThreadId() &&
        !InsideAForeignCall() && countdown.fetch_sub(1) == 1) {
        armedThread.store(0);
        failedFrames = RtlCaptureStackBackTrace(1, 12, failedAt, nullptr);
        ++fired;
        if (GetEnvironmentVariableW(L"ALLOCATION_SWEEP_WHERE", nullptr, 0) != 0) {
            uintptr_t offsets[12] = {};
            const int count = AllocationSweepWhere(offsets, 12);
            for (int i = 0; i < count; ++i) std::fprintf(stderr, " +0x%llx", (unsigned long long)offsets[i]);
            std::fprintf(stderr, "\n");
        }
        return nullptr;
    }
    void* block = std::malloc(size != 0 ? size : 1);
    if (block != nullptr) ++live;
    return block;
}

void Free(void* block) {
    if (block == nullptr) return;
    --live;
    std::free(block);
}

}  // namespace

extern "C" __declspec(dllexport) void AllocationSweepArm(DWORD thread, long n) {
    countdown.store(n);
    armedThread.store(n > 0 ? thread : 0);
}
extern "C" __declspec(dllexport) long AllocationSweepFired() { return fired.load(); }
extern "C" __declspec(dllexport) long AllocationSweepLive() { return live.load(); }
// The return addresses of the last failure, as offsets in this DLL (0 for
// one outside it), for a sweep that wants to say where it failed.
extern "C" __declspec(dllexport) int AllocationSweepWhere(uintptr_t* offsets, int most) {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&AllocationSweepWhere), &self);
    int count = 0;
    for (; count < most && count < failedFrames; ++count) {
        HMODULE owner = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(failedAt[count]), &owner);
        offsets[count] = owner == self ? reinterpret_cast<uintptr_t>(failedAt[count]) -
                                             reinterpret_cast<uintptr_t>(self)
                                       : 0;
    }
    return count;
}

void* operator new(size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, size_t) noexcept { Free(block); }
void operator delete[](void* block, size_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }
