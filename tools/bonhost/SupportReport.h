// `bonhost selftest --report-dir DIR`: the one folder a user sends when the
// tuner does not work, so that a maintainer can load it into the simulator
// (`simreg replay-report DIR`) and see what the user saw. It runs the
// self-test while capturing this process's debug output, records a few
// seconds of the channel the self-test tuned and writes, each a plain file:
//
//   report.txt        the self-test table, Windows version, architecture,
//                     the DLL's version resource, the date, whether a trace
//                     came and whether card data was kept
//   settings/         the INI and the channel file, as found beside the DLL
//   tuners.txt        what `bonhost tuners` lists
//   trace.txt         the debug output while the self-test ran
//   device-calls.txt  its device-call lines (the tracing DLL writes them)
//   stream.ts         --report-seconds of TS from the channel tuned
//   scan.json         with --scan, `bonhost scan --json` of every channel
//
// Card commands and answers carry the card's identity: unless
// --include-card-data is given, their bytes are replaced by their length and
// a digest, keeping only an answer's status word.
#pragma once

#include <string>
#include <vector>

#include "tools/bonhost/BonhostOptions.h"

class SupportReport {
public:
    explicit SupportReport(const BonhostOptions& options) : options_(options) {}

    // The whole command; the exit code is the number of failed checks, or
    // ExitOutputFailed when the folder cannot be written.
    int Run();

    // A line of debug output as the folder keeps it: device-call lines of
    // the card's commands lose their bytes unless `keepCardData`.
    static std::string PrivateLine(const std::string& line, bool keepCardData);

private:
    bool Write(const std::string& name, const std::string& bytes);
    // Copies the file into settings\ under its own name.
    bool CopyBeside(const std::wstring& from);

    BonhostOptions options_;
    std::wstring folder_;
    std::vector<std::string> written_;
    bool failed_ = false;
};
