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
    else if (name == "pid") *command = BonhostCommand::Pid;
    else if (name == "card") *command = BonhostCommand::Card;
    else if (name == "keys") *command = BonhostCommand::Keys;
    else if (name == "lnb") *command = BonhostCommand::Lnb;
    else if (name == "scan") *command = BonhostCommand::Scan;
    else if (name == "selftest") *command = BonhostCommand::SelfTest;
    else if (name == "--version" || name == "version") *command = BonhostCommand::Version;
    else if (name == "help" || name == "--help" || name == "-h") *command = BonhostCommand::Help;
    else return false;
    return true;
}

bool NeedsDriver(BonhostCommand command) {
    return command != BonhostCommand::Help && command != BonhostCommand::Tuners &&
           command != BonhostCommand::Version;
}

bool CheckRecording(const BonhostOptions& options, const char* name, std::string* error) {
    if (options.Space.empty() || options.Channel.empty()) {
        *error = std::string(name) + " needs --space and --channel";
        return false;
    }
    if (!(options.Seconds > 0)) {
        *error = std::string(name) + " needs --seconds N with N > 0";
        return false;
    }
    if (options.Out.empty()) {
        *error = std::string(name) + " needs --out FILE";
        return false;
    }
    return true;
}

bool CheckExtras(const BonhostOptions& options, std::string* error) {
    switch (options.Command) {
        case BonhostCommand::Pid:
            if (options.AddPids.empty()) {
                *error = "pid needs --add LIST";
                return false;
            }
            return CheckRecording(options, "pid", error);
        case BonhostCommand::Card:
            if (options.Apdu.empty()) *error = "card needs --apdu HEX";
            return !options.Apdu.empty();
        case BonhostCommand::Keys:
            if (!(options.Seconds > 0)) *error = "keys needs --seconds N with N > 0";
            return options.Seconds > 0;
        case BonhostCommand::Lnb:
            if (options.LnbAction.empty()) *error = "lnb needs on, off or status";
            return !options.LnbAction.empty();
        case BonhostCommand::SelfTest:
            if (options.Space.empty() != options.Channel.empty())
                *error = "selftest takes --space and --channel together";
            return options.Space.empty() == options.Channel.empty();
        default:
            return true;
    }
}

bool CheckRequired(const BonhostOptions& options, std::string* error) {
    if (NeedsDriver(options.Command) && options.Driver.empty()) {
        *error = "--driver PATH is required";
        return false;
    }
    if (options.Command == BonhostCommand::Record)
        return CheckRecording(options, "record", error);
    return CheckExtras(options, error);
}

bool TakeDwell(const std::vector<std::string>& args, size_t* i, uint32_t* dwell,
               std::string* error) {
    std::string text;
    if (!TakeValue(args, i, &text, error)) return false;
    const long long value = ParseIndex(text);
    if (value > 0 && value <= MaxDwellMs) {
        *dwell = static_cast<uint32_t>(value);
        return true;
    }
    *error = "--dwell needs milliseconds from 1 to 600000, got: " + text;
    return false;
}

bool TakePids(const std::vector<std::string>& args, size_t* i, std::vector<uint16_t>* pids,
              std::string* error) {
    std::string text;
    if (!TakeValue(args, i, &text, error)) return false;
    if (ParsePidList(text, pids)) return true;
    *error = "bad PID list (want e.g. 0x100,0x111): " + text;
    return false;
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
        } else if (arg == "--dwell") {
            ok = TakeDwell(args, &i, &options->DwellMs, error);
        } else if (arg == "--json") {
            ok = TakeValue(args, &i, &options->Json, error);
        } else if (arg == "--write-channels") {
            ok = TakeValue(args, &i, &options->WriteChannels, error);
        } else if (arg == "--report") {
            ok = TakeValue(args, &i, &options->Report, error);
        } else if (arg == "--add") {
            ok = TakePids(args, &i, &options->AddPids, error);
        } else if (arg == "--remove") {
            ok = TakePids(args, &i, &options->RemovePids, error);
        } else if (arg == "--apdu") {
            std::string hex;
            ok = TakeValue(args, &i, &hex, error);
            if (ok && !ParseHexBytes(hex, &options->Apdu)) {
                *error = "bad APDU (want hexadecimal bytes): " + hex;
                ok = false;
            }
        } else if (options->Command == BonhostCommand::Lnb && options->LnbAction.empty() &&
                   (arg == "on" || arg == "off" || arg == "status")) {
            options->LnbAction = arg;
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

bool ParsePidList(const std::string& text, std::vector<uint16_t>* pids) {
    pids->clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        // Hexadecimal with 0x, else decimal (a leading zero is no octal here).
        const bool hex = item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X');
        const std::string digits = hex ? item.substr(2) : item;
        char* stop = nullptr;
        const unsigned long value = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
        if (digits.empty() || digits[0] == '-' || digits[0] == '+' || *stop != 0 ||
            value > 0x1FFF)
            return false;
        pids->push_back(static_cast<uint16_t>(value));
        start = end + 1;
    }
    return !pids->empty();
}

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
    bytes->clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ':') continue;
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
        } else {
            bytes->push_back(static_cast<uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0 && !bytes->empty();
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
           "      tuner name, tuning spaces and their channels, and whether the\n"
           "      channel file beside the DLL is in use (or why it is refused)\n"
           "  bonhost record --driver PATH --space S --channel C --seconds N --out FILE\n"
           "      opens the tuner, tunes space S / channel C (index or name, e.g. 13ch),\n"
           "      records N seconds of TS to FILE and prints a summary\n"
           "  bonhost tuners\n"
           "      lists the BDA network tuners and the DeviceID that selects each\n"
           "  bonhost pid    --driver PATH --space S --channel C --seconds N --out FILE\n"
           "                 --add LIST [--remove LIST]\n"
           "      records like record with the hardware PID filter on, passing the PIDs\n"
           "      of --add (e.g. 0x100,0x111); --remove takes PIDs out halfway through\n"
           "  bonhost card   --driver PATH --apdu HEX\n"
           "      sends one command APDU (e.g. \"00 A4 04 00\") through the library's\n"
           "      smart-card functions and prints the card's answer\n"
           "  bonhost keys   --driver PATH --seconds N\n"
           "      shows remote-control key reports as they arrive for N seconds\n"
           "  bonhost lnb    on|off|status --driver PATH\n"
           "      switches the LNB supply on or off, or checks the supply circuit\n"
           "  bonhost scan   --driver PATH [--space S] [--dwell MS] [--json FILE]\n"
           "                 [--write-channels FILE]\n"
           "      tunes every channel (of space S) and waits up to MS ms (default 1500)\n"
           "      for each: signal, TS, rate, TSID, network and service names; prints a\n"
           "      table, writes --json FILE as JSON and --write-channels FILE as a channel\n"
           "      file of the channels that locked; Ctrl-C stops and keeps what was found\n"
           "  bonhost selftest --driver PATH [--report FILE] [--space S --channel C]\n"
           "      runs the checks a support question needs, each PASS, FAIL (with a\n"
           "      hint) or SKIP; FILE gets the same text with the system's details;\n"
           "      tunes channel C, or else the first of a few that has a signal\n"
           "  bonhost --version\n"
           "  bonhost --help\n"
           "exit codes: 0 ok, 1 usage, 2 driver not found, 3 no CreateBonDriver,\n"
           "            4 open failed, 5 unknown space or channel, 6 tune failed,\n"
           "            7 output file error (or no channel locked for --write-channels),\n"
           "            8 extension export missing or refused, 9 no system device\n"
           "            enumerator, 10 scan interrupted (Ctrl-C);\n"
           "            selftest: the number of failed checks\n";
}
