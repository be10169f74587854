// The library entry. It sets up the process state at attach and takes it
// down when the library is unloaded, and does nothing else at load. At
// process exit it leaves the state in place: a host's own clean-up may still
// call Release after this detach (see ProcessState).
#include "driver/CMyBonDriver.h"
#include "driver/KeptChannelLists.h"
#include "driver/ProcessState.h"

// libstdc++'s release of what it keeps for the life of a program (the
// emergency pool for exceptions, about 73 KiB on 64-bit), which it provides
// for memory checkers; a library that is loaded and unloaded again and again
// must give it back each time. No header declares it.
namespace __gnu_cxx {
void __freeres() noexcept;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            AttachProcessState(instance);
            break;
        case DLL_PROCESS_DETACH:
            if (reserved == nullptr) {
                // Unloaded: no caller can reach the object or a name any more.
                CMyBonDriver::DestroyStorage();
                KeptChannelLists::FreeAll();
            }
            DetachProcessState(reserved != nullptr);
            // Unloaded (not the process's exit): nothing in the library
            // throws any more, and its last allocation has gone.
            if (reserved == nullptr) __gnu_cxx::__freeres();
            break;
        default:
            break;
    }
    return TRUE;
}
