// What the statically linked runtime sets up in the library and would not
// give back at FreeLibrary, handed back after attach and at unload.
//
// - winpthreads keeps a record for each thread that enters it (a duplicate
//   of the thread's handle, an event) and a TLS slot, shared by all threads,
//   that points to the record. It gives a record back when its thread ends
//   but never frees the slot, and a thread that outlives the library keeps
//   its record for good. On 32-bit the loading thread always has one: the
//   unwinder's frame registration at attach goes through pthread_once. So
//   each load left two handles and a TLS slot behind, and a host reloading
//   the library about a thousand times ran out of TLS slots (the runtime then
//   aborts the process).
// - libstdc++ allocates its emergency pool for exceptions (about 73 KiB on
//   64-bit, 19 KiB on 32-bit) at load and never frees it.
#pragma once

#include <windows.h>

class StaticRuntime {
public:
    // At the end of DLL_PROCESS_ATTACH: gives back the record the runtime
    // made for the loading thread while the library started, since that
    // thread may outlive the library without being the one that unloads it.
    static void ReleaseAfterAttach(HINSTANCE module);

    // Only for DLL_PROCESS_DETACH caused by FreeLibrary: runs under the
    // loader lock, after the runtime's own detach callback and before the
    // library's destructors, none of which makes a thread record or throws.
    static void ReleaseAtUnload(HINSTANCE module);

private:
    // Gives the calling thread's record back through the runtime's own
    // thread-exit path and frees the runtime's TLS slot.
    static void ReleaseThreadRecord(HINSTANCE module);
    // The TLS slot that held the record the thread-exit path just cleared,
    // or TLS_OUT_OF_INDEXES unless exactly one slot changed that way.
    static DWORD SlotClearedBy(HINSTANCE module);
};
