// Command line of bonhost: which command and its options. Parsing is plain
// text work, kept apart from the Windows side so it is easy to test.
#pragma once

#include <string>
#include <vector>

enum class BonhostCommand { Help, Info, Record, Tuners };

struct BonhostOptions {
    BonhostCommand Command = BonhostCommand::Help;
    std::string Driver;   // --driver PATH (UTF-8)
    std::string Space;    // --space S (index or name)
    std::string Channel;  // --channel C (index or name)
    double Seconds = 0;   // --seconds N
    std::string Out;      // --out FILE (UTF-8)
};

// Parses the arguments after the program name. On failure returns false and
// puts a one-line reason into *error.
bool ParseBonhostOptions(const std::vector<std::string>& args, BonhostOptions* options,
                         std::string* error);

// "12" -> 12; anything that is not a plain decimal number gives -1.
long long ParseIndex(const std::string& text);

// ASCII case-insensitive equality (channel and space names are ASCII).
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

const char* BonhostUsage();
