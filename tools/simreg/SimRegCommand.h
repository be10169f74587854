// The commands of simreg.exe, parsed from its arguments and run against the
// registry of the current prefix.
#pragma once

#include <string>
#include <vector>

#include "sim/SimDeviceEvent.h"

class SimRegCommand {
public:
    // Runs the command that `args` (without the program name) spell. Output
    // goes to stdout, errors to stderr. Returns the process exit code:
    // 0 done, 1 the command failed, 2 a usage error.
    static int Run(const std::vector<std::wstring>& args);

private:
    static int AddTuners(unsigned count, const std::wstring& name, const std::wstring& pathTemplate);
    static int AddReceivers(const std::wstring& scenario);
    static int List();
    static int Clear();
    static int Silence(const std::vector<std::wstring>& channels);
    static int Replay(const std::wstring& channel, const std::wstring& file);
    static int Live(const std::vector<std::wstring>& channels, bool all);
    static int Sources();
    static int Register(const std::wstring& dll, bool registering);
    // Applies `event` to tuner `tuner` (1-based, as `list` numbers them) or
    // to every tuner, in this prefix and its running processes.
    static int Event(SimDeviceEvent event, unsigned tuner, bool all);
    // Every Run of tuner `tuner`'s graphs (or every tuner's) takes `ms` longer.
    static int Slow(unsigned tuner, bool all, unsigned ms);
    // The simulator's classes registered with ThreadingModel `model`.
    static int Threading(const std::wstring& model);
    // Makes the simulated tuner the one of the report in `folder`, or with
    // `off` stops replaying any.
    static int ReplayReport(const std::wstring& folder, bool off);
    // Sets the satellites' sky ("2025", "built-in"), or with an empty name prints it.
    static int Sky(const std::string& name);
};
