// The library entry. It sets up the process state at attach and takes it
// down at detach, and does nothing else at load: what the statically linked
// runtime set up for the loading thread is given back at once, and the rest
// of what it set up goes with the library at FreeLibrary.
#include "driver/ProcessState.h"
#include "exports/StaticRuntime.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            AttachProcessState(instance);
            StaticRuntime::ReleaseAfterAttach(instance);
            break;
        case DLL_PROCESS_DETACH:
            DetachProcessState();
            // At process exit (reserved set) everything goes with the process.
            if (reserved == nullptr) StaticRuntime::ReleaseAtUnload(instance);
            break;
        default:
            break;
    }
    return TRUE;
}
