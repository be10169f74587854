// simreg.exe entry: hands the wide command line to SimRegCommand.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <windows.h>
#include <shellapi.h>

#include "tools/simreg/SimRegCommand.h"

int main() {
    try {
        int count = 0;
        wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
        if (argv == nullptr) return 1;
        std::vector<std::wstring> args(argv + (count > 0 ? 1 : 0), argv + count);
        LocalFree(argv);
        return SimRegCommand::Run(args);
    } catch (const std::exception& e) {
        // Nothing of a parse (SimRegCommand answers those) or of the registry
        // throws; this is for running out of memory.
        std::fprintf(stderr, "simreg: %s\n", e.what());
        return 1;
    }
}
