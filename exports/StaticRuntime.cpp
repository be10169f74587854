#include "exports/StaticRuntime.h"

#include <pthread.h>

// winpthreads' TLS callback; with DLL_THREAD_DETACH it releases the calling
// thread's record and clears the record's slot.
extern "C" PIMAGE_TLS_CALLBACK __xl_f;

// libstdc++'s release of its emergency pool.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

// TLS_MINIMUM_AVAILABLE plus the 1024 expansion slots.
constexpr DWORD TlsSlotCount = 1088;
// Only used under the loader lock; static to keep 8 KiB off the stack.
void* SlotsBefore[TlsSlotCount];

}  // namespace

void StaticRuntime::ReleaseAfterAttach(HINSTANCE module) {
    // Nothing holds the record once start-up is over; the thread's next
    // call into the runtime, if any, makes a new one.
    if (__xl_f != nullptr) __xl_f(module, DLL_THREAD_DETACH, nullptr);
}

void StaticRuntime::ReleaseAtUnload(HINSTANCE module) {
    const DWORD lastError = GetLastError();
    ReleaseThreadRecord(module);
    __gnu_cxx::__freeres();
    SetLastError(lastError);
}

void StaticRuntime::ReleaseThreadRecord(HINSTANCE module) {
    if (__xl_f == nullptr) return;
    // The runtime does not say which slot it took; a record of this thread
    // (made here if the thread has none) marks it.
    pthread_self();
    const DWORD slot = SlotClearedBy(module);
    if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
}

DWORD StaticRuntime::SlotClearedBy(HINSTANCE module) {
    for (DWORD slot = 0; slot < TlsSlotCount; ++slot) SlotsBefore[slot] = TlsGetValue(slot);
    __xl_f(module, DLL_THREAD_DETACH, nullptr);
    DWORD cleared = TLS_OUT_OF_INDEXES;
    for (DWORD slot = 0; slot < TlsSlotCount; ++slot) {
        if (SlotsBefore[slot] == nullptr || TlsGetValue(slot) != nullptr) continue;
        // Freeing a slot that is not the runtime's would break its owner.
        if (cleared != TLS_OUT_OF_INDEXES) return TLS_OUT_OF_INDEXES;
        cleared = slot;
    }
    return cleared;
}
