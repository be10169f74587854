// Command line of bonhost: which command and its options. Parsing is plain
// text work (CLI11), kept apart from the Windows side so it is easy to test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class BonhostCommand { Help, Version, Info, Record, Tuners, Pid, Card, Keys, Lnb, Scan, SelfTest };

// The dwell of `scan` when --dwell is not given, and the longest one taken.
constexpr uint32_t DefaultDwellMs = 1500;
constexpr uint32_t MaxDwellMs = 600000;
constexpr int MaxReportSeconds = 300;  // selftest --report-seconds

struct BonhostOptions {
    BonhostCommand Command = BonhostCommand::Help;
    std::string HelpText; // with Command Help: the help asked for (of one command, or of all)
    std::string Driver;   // --driver PATH (UTF-8)
    std::string Space;    // --space S (index or name); record: empty for a tuner server's name
    std::string Channel;  // --channel C (index or name)
    double Seconds = 0;   // --seconds N; record: 0 records until stopped
    std::string Out;      // --out FILE (UTF-8); record: "-" for stdout
    std::vector<uint16_t> AddPids;     // pid --add LIST
    std::vector<uint16_t> RemovePids;  // pid --remove LIST
    std::vector<uint8_t> Apdu;         // card --apdu HEX
    std::string LnbAction;             // lnb on|off|status
    uint32_t DwellMs = DefaultDwellMs; // scan --dwell MS
    std::string Json;                  // scan --json FILE (UTF-8)
    std::string WriteChannels;         // scan --write-channels FILE (UTF-8)
    std::string WriteMirakurun;        // scan --write-mirakurun FILE (UTF-8)
    bool Nit = false;                  // scan --nit
    std::string Report;                // selftest --report FILE (UTF-8)
    std::string ReportDir;             // selftest --report-dir DIR (UTF-8)
    double ReportSeconds = 10;         // selftest --report-seconds N (1 to MaxReportSeconds)
    bool ReportScan = false;           // selftest --scan
    bool IncludeCardData = false;      // selftest --include-card-data
};

// Parses the arguments after the program name; no arguments ask for help.
// On failure returns false, puts a one-line reason into *error and leaves
// in options->Command the command the arguments named (Help when none).
bool ParseBonhostOptions(const std::vector<std::string>& args, BonhostOptions* options,
                         std::string* error);

// Where a user who got `command` wrong finds its help: "bonhost scan --help".
std::string BonhostHelpCommand(BonhostCommand command);

// "12" -> 12; anything that is not a plain decimal number gives -1.
long long ParseIndex(const std::string& text);

// ASCII case-insensitive equality (channel and space names are ASCII).
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// "0x100,273" -> {0x100, 273}: comma-separated PIDs, hexadecimal with 0x or
// decimal, each at most 0x1FFF. False on anything else.
bool ParsePidList(const std::string& text, std::vector<uint16_t>* pids);

// "00 A4 04 00" or "00a40400" -> bytes. False on an odd digit count, a
// non-hexadecimal character or no bytes at all.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes);

// `bonhost --help`: the commands, the shape of each command line and the
// exit codes.
std::string BonhostUsage();
