// Linked into every Windows test program. Under Wine an unhandled exception
// starts the debugger and the process may still end with exit code 0, which
// would read as a pass: report the crash and end with a failure code instead.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info != nullptr ? info->ExceptionRecord : nullptr;
    const DWORD code = record != nullptr ? record->ExceptionCode : 0;
    void* address = record != nullptr ? record->ExceptionAddress : nullptr;
    // Where: the module and the offset in it, for addr2line.
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<const char*>(address), &module))
        GetModuleFileNameA(module, name, MAX_PATH);
    std::fprintf(stderr, "unhandled exception 0x%08lX at %s+0x%lx: the test program crashed\n",
                 static_cast<unsigned long>(code), name,
                 static_cast<unsigned long>(static_cast<const char*>(address) -
                                            reinterpret_cast<const char*>(module)));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 70);
    return EXCEPTION_EXECUTE_HANDLER;
}

struct CrashGuard {
    CrashGuard() {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        SetUnhandledExceptionFilter(ReportCrash);
    }
} guard;

}  // namespace
