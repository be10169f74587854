// `bonhost selftest --report-dir DIR`: the one folder a user sends when the
// tuner does not work, so that a maintainer can load it into the simulator
// (`simreg replay-report DIR`) and see what the user saw. It runs the
// self-test while capturing this process's debug output, records a few
// seconds of the channel the self-test tuned and writes, each a plain file:
//
//   report.txt        the self-test table, Windows version, architecture,
//                     the DLL's version resource, the date, whether a trace
//                     came and whether card data was kept, the device call
//                     that tuned the stream, and any file that is missing
//   settings/         the INI and the channel file, as found beside the DLL
//   tuners.txt        what `bonhost tuners` lists
//   trace.txt         the debug output while the self-test ran
//   device-calls.txt  its device-call lines (the tracing DLL writes them)
//   stream.ts         --report-seconds of TS from the channel tuned, written
//                     as it comes
//   scan.json         with --scan, `bonhost scan --json` of every channel
//   card-data.txt     with --include-card-data only: the smart-card
//                     exchanges bonhost itself made through the card exports
//
// The tracing DLL never writes the card's bytes (they carry the card's
// identity), only their length, status word and a keyed digest; lines of an
// older tracing DLL that still carry them are scrubbed the same way here.
// A file that cannot be written is named in report.txt and on the console,
// and every other file is written all the same.
#pragma once

#include <string>
#include <vector>

#include "platform/KeyedDigest.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/LibraryCard.h"

class BonhostSelfTest;

class SupportReport {
public:
    explicit SupportReport(const BonhostOptions& options);

    // The whole command; the exit code is the number of failed checks, or
    // ExitOutputFailed when a file of the folder could not be written.
    int Run();

    // A line of debug output as the folder keeps it: a device-call line of
    // a card command that carries its bytes loses them to their length, a
    // digest under `key` (null: none) and an answer's status word.
    static std::string PrivateLine(const std::string& line, const KeyedDigest* key);
    // card-data.txt's text for `exchanges`.
    static std::string CardDataText(const std::vector<CardExchange>& exchanges);

private:
    bool Write(const std::string& name, const std::string& bytes);
    // Copies the file into settings\ under its own name.
    bool CopyBeside(const std::wstring& from);
    // N seconds of the channel the self-test tuned, into stream.ts as they
    // come; the line report.txt gets about it.
    std::string RecordStream(BonhostSelfTest& selfTest);
    void Missing(const std::string& name, const std::string& why);

    BonhostOptions options_;
    KeyedDigest key_;
    bool keyed_ = false;
    std::wstring folder_;
    std::vector<std::string> missing_;  // "stream.ts (why)"
};
