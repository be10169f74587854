// The library entry. It sets up the process state at attach and takes it
// down at detach, and does nothing else at load.
#include "driver/ProcessState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            AttachProcessState(instance);
            break;
        case DLL_PROCESS_DETACH:
            DetachProcessState();
            break;
        default:
            break;
    }
    return TRUE;
}
