// The commands of simreg.exe, parsed from its arguments and run against the
// registry of the current prefix.
#pragma once

#include <string>
#include <vector>

class SimRegCommand {
public:
    // Runs the command that `args` (without the program name) spell. Output
    // goes to stdout, errors to stderr. Returns the process exit code:
    // 0 done, 1 the command failed, 2 a usage error.
    static int Run(const std::vector<std::wstring>& args);
    static const char* Usage();

private:
    static int AddTuners(const std::vector<std::wstring>& args);
    static int AddReceivers(const std::vector<std::wstring>& args);
    static int List();
    static int Clear();
    static int Silence(const std::vector<std::wstring>& args);
    static int Replay(const std::vector<std::wstring>& args);
    static int Live(const std::vector<std::wstring>& args);
    static int Sources();
    static int Register(const std::vector<std::wstring>& args, bool registering);
};
