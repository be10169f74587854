#include "tools/bonhost/BonhostOptions.h"

#include "channels/TunerServerName.h"
#include "tools/CliCommands.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {

struct CommandName {
    const char* Name;
    BonhostCommand Command;
    const char* Description;  // lines fit the listing of `bonhost --help`
};

const CommandName Commands[] = {
    {"info", BonhostCommand::Info,
     "tuner name, tuning spaces and their channels, and whether the\n"
     "channel file beside the DLL is in use (or why it is refused)"},
    {"record", BonhostCommand::Record,
     "opens the tuner, tunes space S / channel C (index or name, e.g.\n"
     "13ch), records N seconds of TS to FILE and prints a summary;\n"
     "without --space, C is a tuner server's name (27, C13, BS01_0,\n"
     "CS2); without --seconds it records until stopped; --out - writes\n"
     "the TS to stdout: Mirakurun's tuner command"},
    {"tuners", BonhostCommand::Tuners,
     "lists the BDA network tuners and the DeviceID that selects each"},
    {"pid", BonhostCommand::Pid,
     "records like record with the hardware PID filter on, passing the\n"
     "PIDs of --add (e.g. 0x100,0x111); --remove takes PIDs out\n"
     "halfway through"},
    {"card", BonhostCommand::Card,
     "sends one command APDU (e.g. \"00 A4 04 00\") through the library's\n"
     "smart-card functions and prints the card's answer"},
    {"keys", BonhostCommand::Keys,
     "shows remote-control key reports as they arrive for N seconds"},
    {"lnb", BonhostCommand::Lnb,
     "switches the LNB supply on or off, or checks the supply circuit"},
    {"scan", BonhostCommand::Scan,
     "tunes every channel (of space S) and waits up to MS ms for each:\n"
     "signal, TS, rate, TSID, network and service names; prints a\n"
     "table, writes --json FILE as JSON and --write-channels FILE as a\n"
     "channel file of the channels that locked (with --nit, of what the\n"
     "satellites' NIT announces; --write-mirakurun FILE: as Mirakurun's\n"
     "channels.yml); Ctrl-C stops and keeps what was found (exit code 10)"},
    {"selftest", BonhostCommand::SelfTest,
     "runs the checks a support question needs, each PASS, FAIL (with a\n"
     "hint) or SKIP; --report FILE gets the same text with the system's\n"
     "details; tunes channel C, or else the first of a few that has a\n"
     "signal; exits with the number of failed checks"},
};

// What the per-command help cannot show: every command line at a glance and
// what each exit code means.
const char* const Synopsis =
    "at a glance:\n"
    "  bonhost info   --driver PATH\n"
    "  bonhost record --driver PATH [--space S] --channel C [--seconds N]\n"
    "                 --out FILE|-\n"
    "  bonhost tuners\n"
    "  bonhost pid    --driver PATH --space S --channel C --seconds N --out FILE\n"
    "                 --add LIST [--remove LIST]\n"
    "  bonhost card   --driver PATH --apdu HEX\n"
    "  bonhost keys   --driver PATH --seconds N\n"
    "  bonhost lnb    on|off|status --driver PATH\n"
    "  bonhost scan   --driver PATH [--space S] [--dwell MS] [--json FILE]\n"
    "                 [--write-channels FILE] [--nit] [--write-mirakurun FILE]\n"
    "  bonhost selftest --driver PATH [--report FILE] [--space S --channel C]\n"
    "                 [--report-dir DIR [--report-seconds N] [--scan] [--include-card-data]]\n"
    "  bonhost --version\n"
    "  bonhost COMMAND --help      the options of one command\n"
    "exit codes: 0 ok, 1 usage, 2 driver not found, 3 no CreateBonDriver,\n"
    "            4 open failed, 5 unknown space or channel, 6 tune failed,\n"
    "            7 output file error (or nothing to write for --write-channels\n"
    "            or --write-mirakurun),\n"
    "            8 extension export missing or refused, 9 no system device\n"
    "            enumerator, 10 scan interrupted (Ctrl-C);\n"
    "            selftest: the number of failed checks\n";

// A positive, finite number of seconds in strtod's syntax (2.5, 1e3).
std::string CheckSeconds(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && *end == 0 && std::isfinite(value) && value > 0) return std::string();
    return "needs a number of seconds above 0, got: " + text;
}

// The seconds of TS a report folder takes: enough to show a fault, few
// enough to send (300 s at 60 Mbit/s is already 2 GB).
std::string CheckReportSeconds(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && *end == 0 && value >= 1 && value <= MaxReportSeconds) return std::string();
    return "needs seconds from 1 to " + std::to_string(MaxReportSeconds) + ", got: " + text;
}

// Plain decimal milliseconds in range; rewritten without leading zeros, which
// CLI11's integer reading would otherwise take for octal.
std::string TakeDwell(std::string& text) {
    const long long value = ParseIndex(text);
    if (value < 1 || value > MaxDwellMs)
        return "needs milliseconds from 1 to " + std::to_string(MaxDwellMs) + ", got: " + text;
    text = std::to_string(value);
    return std::string();
}

std::string CheckLnbAction(const std::string& text) {
    if (text == "on" || text == "off" || text == "status") return std::string();
    return "needs on, off or status, got: " + text;
}

// The parsers below fill their field once the option's text is known good.
CLI::Option* AddPidList(CLI::App* command, const std::string& name, std::vector<uint16_t>* pids,
                        const char* help) {
    return command
        ->add_option_function<std::string>(
            name,
            [name, pids](const std::string& text) {
                if (!ParsePidList(text, pids))
                    throw CLI::ValidationError(name, "bad PID list (want e.g. 0x100,0x111): " + text);
            },
            help)
        ->type_name("LIST");
}

CLI::Option* AddApdu(CLI::App* command, std::vector<uint8_t>* apdu) {
    return command
        ->add_option_function<std::string>(
            "--apdu",
            [apdu](const std::string& text) {
                if (!ParseHexBytes(text, apdu))
                    throw CLI::ValidationError("--apdu", "bad APDU (want hexadecimal bytes): " + text);
            },
            "the command APDU as hexadecimal bytes, e.g. \"00 A4 04 00\"")
        ->type_name("HEX");
}

void AddDriver(CLI::App* command, BonhostOptions* o) {
    command->add_option("--driver", o->Driver, "the BonDriver DLL to load")->type_name("PATH")->required();
}

CLI::Option* AddSeconds(CLI::App* command, BonhostOptions* o, const char* help) {
    return command->add_option("--seconds", o->Seconds, help)->type_name("N")->check(CheckSeconds);
}

// A tuner server leaves a placeholder it has no value for as it is; bonhost
// cannot guess what was meant, so that is a usage error, not a channel.
std::string CheckFilled(const std::string& text) {
    if (!TunerServerName::HoldsPlaceholder(text)) return std::string();
    return "still holds a placeholder of the tuner command (the tuner server had no value "
           "for it): " + text;
}

// The options of pid: where to tune, how long, into which file.
void AddRecording(CLI::App* command, BonhostOptions* o) {
    AddDriver(command, o);
    command->add_option("--space", o->Space, "tuning space: index or name")->type_name("S")->required();
    command->add_option("--channel", o->Channel, "channel: index or name (e.g. 13ch)")
        ->type_name("C")
        ->required();
    AddSeconds(command, o, "seconds to record (fractions allowed)")->required();
    command->add_option("--out", o->Out, "the TS file to write")->type_name("FILE")->required();
}

// The options of record, which is also a tuner server's tuner command.
void AddRecord(CLI::App* command, BonhostOptions* o) {
    command->add_option("--driver", o->Driver, "the BonDriver DLL to load")
        ->type_name("PATH")
        ->required()
        ->check(CheckFilled);
    command->add_option("--space", o->Space,
                        "tuning space: index or name; without it, --channel is a tuner\n"
                        "server's name (do not pass Mirakurun's <space>)")
        ->type_name("S")
        ->check(CheckFilled);
    command->add_option("--channel", o->Channel,
                        "channel: index or name (e.g. 13ch); without --space, a tuner\n"
                        "server's name: 13-62, C13-C63, BS01_0 (BS1/TS0), CS2 (ND2)")
        ->type_name("C")
        ->required()
        ->check(CheckFilled);
    AddSeconds(command, o,
               "seconds to record (fractions allowed); without it, until stopped:\n"
               "Ctrl+C, the reader of --out - going away, or a line or the end of\n"
               "a piped stdin");
    command->add_option("--out", o->Out,
                        "the TS file to write, or - for stdout (every message then goes\n"
                        "to stderr)")
        ->type_name("FILE|-")
        ->required()
        ->check(CheckFilled);
}

void AddOptions(CLI::App* command, BonhostCommand which, BonhostOptions* o) {
    switch (which) {
        case BonhostCommand::Info:
            AddDriver(command, o);
            break;
        case BonhostCommand::Record:
            AddRecord(command, o);
            break;
        case BonhostCommand::Pid:
            AddRecording(command, o);
            AddPidList(command, "--add", &o->AddPids, "the PIDs to pass, e.g. 0x100,0x111")->required();
            AddPidList(command, "--remove", &o->RemovePids, "the PIDs to take out halfway through");
            break;
        case BonhostCommand::Card:
            AddDriver(command, o);
            AddApdu(command, &o->Apdu)->required();
            break;
        case BonhostCommand::Keys:
            AddDriver(command, o);
            AddSeconds(command, o, "how long to watch for key reports")->required();
            break;
        case BonhostCommand::Lnb:
            command->add_option("action", o->LnbAction, "switch the supply on or off, or check it")
                ->type_name("on|off|status")
                ->required()
                ->check(CheckLnbAction);
            AddDriver(command, o);
            break;
        case BonhostCommand::Scan:
            AddDriver(command, o);
            command->add_option("--space", o->Space, "only this tuning space (index or name)")
                ->type_name("S");
            command->add_option("--dwell", o->DwellMs, "how long to wait on each channel (default 1500)")
                ->type_name("MS")
                ->transform(CLI::Validator(TakeDwell, ""));
            command->add_option("--json", o->Json, "write the rows as JSON to FILE")->type_name("FILE");
            command->add_option("--write-channels", o->WriteChannels,
                                "write the channels that locked as a channel file")
                ->type_name("FILE");
            command->add_option("--write-mirakurun", o->WriteMirakurun,
                                "write the channels that locked as Mirakurun's channels.yml")
                ->type_name("FILE");
            command->add_flag("--nit", o->Nit,
                              "satellite (NetworkName=ISDBS): read the broadcasters' list of\n"
                              "transport streams (NIT) and make --write-channels FILE of it;\n"
                              "tunes only rows no NIT read so far announces, waiting up to MS\n"
                              "for each NIT (real satellites repeat it every few seconds)");
            break;
        case BonhostCommand::SelfTest: {
            AddDriver(command, o);
            command->add_option("--report", o->Report, "write the report with the system's details")
                ->type_name("FILE");
            CLI::Option* folder = command->add_option(
                "--report-dir", o->ReportDir,
                "write a folder to send when asking for help: the report, the settings,\n"
                "the tuner list, the tracing driver's trace and device calls, N s of TS");
            folder->type_name("DIR");
            command->add_option("--report-seconds", o->ReportSeconds,
                                "seconds of TS the folder gets, 1 to 300 (default 10)")
                ->type_name("N")
                ->check(CheckReportSeconds)
                ->needs(folder);
            command->add_flag("--scan", o->ReportScan, "the folder also gets scan.json, a scan of every channel")
                ->needs(folder);
            command->add_flag("--include-card-data", o->IncludeCardData,
                              "keep the card's command and answer bytes in the folder (by default only\n"
                              "their length, a digest and the status word)")
                ->needs(folder);
            CLI::Option* space =
                command->add_option("--space", o->Space, "tune this space (with --channel)");
            CLI::Option* channel =
                command->add_option("--channel", o->Channel, "tune this channel (with --space)");
            space->type_name("S")->needs(channel);
            channel->type_name("C")->needs(space);
            break;
        }
        default:
            break;
    }
}

// bonhost's whole command line; the options land in the BonhostOptions given.
class CommandLine {
public:
    explicit CommandLine(BonhostOptions* options)
        : app_("bonhost: loads a BonDriver DLL by path and drives it through IBonDriver2,\n"
               "as viewer and recorder applications do",
               "bonhost") {
        // An option given twice takes its last value, so a script can override one it passes.
        app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app_.require_subcommand(0, 1);
        app_.set_help_flag("-h,--help", "prints this help");  // before the commands, which inherit it
        version_ = app_.add_flag("--version", "prints the version and whether this build is 32- or 64-bit");
        for (const CommandName& command : Commands) {
            CLI::App* sub = app_.add_subcommand(command.Name, command.Description)->group("Commands");
            AddOptions(sub, command.Command, options);
            sub->footer("exit codes: bonhost --help lists them");
            commands_.Name(sub, command.Command);
        }
        // `bonhost help` and `bonhost version` work too; the listing leaves them out.
        help_ = app_.add_subcommand("help", "")->group("");
        commands_.Name(help_, BonhostCommand::Help);
        commands_.Name(app_.add_subcommand("version", "")->group(""), BonhostCommand::Version);
        // The listing's own narrow first column and the synopsis.
        CliCommands<BonhostCommand>::SetListing(app_, 13, Synopsis);
    }

    void Parse(const std::vector<std::string>& args) { CliCommands<BonhostCommand>::Parse(app_, args); }
    bool Named() const { return commands_.Named(); }
    BonhostCommand Selected() const {
        return version_->count() > 0 ? BonhostCommand::Version : commands_.Selected(BonhostCommand::Help);
    }
    std::string Help() const { return CliCommands<BonhostCommand>::Help(app_, help_); }

private:
    CLI::App app_;
    CLI::Option* version_ = nullptr;
    CLI::App* help_ = nullptr;
    CliCommands<BonhostCommand> commands_;
};

}  // namespace

bool ParseBonhostOptions(const std::vector<std::string>& args, BonhostOptions* options,
                         std::string* error) {
    *options = BonhostOptions();
    CommandLine line(options);
    try {
        line.Parse(args);
    } catch (const CLI::CallForHelp&) {
        options->Command = BonhostCommand::Help;
        options->HelpText = line.Help();
        return true;
    } catch (const CLI::ParseError& e) {
        options->Command = line.Selected();
        *error = e.what();
        // CLI11 calls a first word that names no command an unexpected argument.
        if (!line.Named() && args[0].compare(0, 1, "-") != 0) *error = "unknown command: " + args[0];
        return false;
    }
    options->Command = line.Selected();
    if (options->Command == BonhostCommand::Help) options->HelpText = line.Help();
    return true;
}

std::string BonhostHelpCommand(BonhostCommand command) {
    for (const CommandName& named : Commands)
        if (named.Command == command) return std::string("bonhost ") + named.Name + " --help";
    return "bonhost --help";
}

std::string BonhostUsage() {
    BonhostOptions unused;
    return CommandLine(&unused).Help();
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
