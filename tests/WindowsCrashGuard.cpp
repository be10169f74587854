// Linked into every Windows test program. Under Wine an unhandled exception
// starts the debugger and the process may still end with exit code 0, which
// would read as a pass: report the crash and end with a failure code instead.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    const DWORD code = info != nullptr && info->ExceptionRecord != nullptr
                           ? info->ExceptionRecord->ExceptionCode
                           : 0;
    std::fprintf(stderr, "unhandled exception 0x%08lX: the test program crashed\n",
                 static_cast<unsigned long>(code));
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
