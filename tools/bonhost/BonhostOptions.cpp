#include "tools/bonhost/BonhostOptions.h"

#include <cstdlib>

namespace {

bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* value,
               std::string* error) {
    if (*i + 1 >= args.size()) {
        *error = "missing value after " + args[*i];
        return false;
    }
    *value = args[++*i];
    return true;
}

bool CommandFromName(const std::string& name, BonhostCommand* command) {
    if (name == "info") *command = BonhostCommand::Info;
    else if (name == "record") *command = BonhostCommand::Record;
    else if (name == "tuners") *command = BonhostCommand::Tuners;
    else if (name == "help" || name == "--help" || name == "-h") *command = BonhostCommand::Help;
    else return false;
    return true;
}

bool CheckRequired(const BonhostOptions& options, std::string* error) {
    if ((options.Command == BonhostCommand::Info || options.Command == BonhostCommand::Record) &&
        options.Driver.empty()) {
        *error = "--driver PATH is required";
        return false;
    }
    if (options.Command != BonhostCommand::Record) return true;
    if (options.Space.empty() || options.Channel.empty()) {
        *error = "record needs --space and --channel";
        return false;
    }
    if (!(options.Seconds > 0)) {
        *error = "record needs --seconds N with N > 0";
        return false;
    }
    if (options.Out.empty()) {
        *error = "record needs --out FILE";
        return false;
    }
    return true;
}

}  // namespace

bool ParseBonhostOptions(const std::vector<std::string>& args, BonhostOptions* options,
                         std::string* error) {
    *options = BonhostOptions();
    if (args.empty()) return true;  // no command: help
    if (!CommandFromName(args[0], &options->Command)) {
        *error = "unknown command: " + args[0];
        return false;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string seconds;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options->Command = BonhostCommand::Help;
            return true;
        } else if (arg == "--driver") {
            ok = TakeValue(args, &i, &options->Driver, error);
        } else if (arg == "--space") {
            ok = TakeValue(args, &i, &options->Space, error);
        } else if (arg == "--channel") {
            ok = TakeValue(args, &i, &options->Channel, error);
        } else if (arg == "--out") {
            ok = TakeValue(args, &i, &options->Out, error);
        } else if (arg == "--seconds") {
            ok = TakeValue(args, &i, &seconds, error);
            char* end = nullptr;
            if (ok) options->Seconds = std::strtod(seconds.c_str(), &end);
            if (ok && (end == seconds.c_str() || *end != 0)) {
                *error = "--seconds needs a number, got: " + seconds;
                ok = false;
            }
        } else {
            *error = "unknown option: " + arg;
            ok = false;
        }
        if (!ok) return false;
    }
    return CheckRequired(*options, error);
}

long long ParseIndex(const std::string& text) {
    if (text.empty() || text.size() > 9) return -1;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

const char* BonhostUsage() {
    return "usage:\n"
           "  bonhost info   --driver PATH\n"
           "      tuner name, tuning spaces and their channels\n"
           "  bonhost record --driver PATH --space S --channel C --seconds N --out FILE\n"
           "      opens the tuner, tunes space S / channel C (index or name, e.g. 13ch),\n"
           "      records N seconds of TS to FILE and prints a summary\n"
           "  bonhost tuners\n"
           "      lists the BDA network tuners and the DeviceID that selects each\n"
           "  bonhost --help\n"
           "exit codes: 0 ok, 1 usage, 2 driver not found, 3 no CreateBonDriver,\n"
           "            4 open failed, 5 unknown space or channel, 6 tune failed,\n"
           "            7 output file or device enumeration error\n";
}
