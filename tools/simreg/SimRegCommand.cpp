#include "tools/simreg/SimRegCommand.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include <windows.h>

#include "channels/ChannelPlan.h"
#include "channels/ChannelText.h"
#include "platform/FileText.h"
#include "sim/SimChannelSources.h"
#include "sim/SimClassIds.h"
#include "sim/SimDeviceEvents.h"
#include "sim/SimRegistry.h"
#include "sim/SimReplayPlan.h"
#include "sim/SimReplayRegistry.h"
#include "sim/SimSky.h"
#include "sim/SimSkyRegistry.h"
#include "sim/SimSourceRegistry.h"
#include "tools/CliCommands.h"
#include "ts/TsReplayClip.h"

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// One line of reason and where the help is ("simreg replay --help").
int UsageError(const std::string& message, const std::string& help) {
    std::fprintf(stderr, "simreg: %s\nrun '%s' for the arguments\n", message.c_str(), help.c_str());
    return ExitUsage;
}

int Failed(const char* what, HRESULT hr) {
    std::fprintf(stderr, "simreg: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return ExitFailed;
}

void PrintDevice(const std::string& kind, const SimDeviceRecord& record, const char* tail) {
    std::printf("%s\t%s\t%s\t%s\t%s%s\n", kind.c_str(), Utf8Of(record.instance).c_str(),
                Utf8Of(record.friendlyName).c_str(), Utf8Of(record.devicePath).c_str(),
                Utf8Of(record.clsid).c_str(), tail);
}

// A decimal count of 1 to 64, rewritten without leading zeros (which CLI11's
// integer reading would take for octal).
std::string TakeCount(std::string& text) {
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 64) return "wants a count from 1 to 64, got: " + text;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (text.empty() || value < 1 || value > 64) return "wants a count from 1 to 64, got: " + text;
    text = std::to_string(value);
    return std::string();
}

std::wstring WideOf(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

std::vector<std::wstring> WideOf(const std::vector<std::string>& texts) {
    std::vector<std::wstring> wide;
    for (const std::string& text : texts) wide.push_back(WideOf(text));
    return wide;
}

// True when some tuning space of the built-in plan, or of the 2025 sky, has
// a channel so named.
bool InPlan(const std::wstring& name) {
    for (Network network : {Network::IsdbT, Network::IsdbS})
        for (uint32_t space = 0; TuningSpaceName(network, space) != nullptr; ++space)
            for (uint32_t index = 0; index < ChannelCount(network, space); ++index)
                if (name == LookupChannel(network, space, index)->Name) return true;
    for (uint32_t space = 0; space < 2; ++space)
        for (uint32_t index = 0; index < SimSky::Count(SimSkyKind::Year2025, space); ++index)
            if (name == SimSky::Row(SimSkyKind::Year2025, space, index)->Name) return true;
    return false;
}

// Channel names are the plan's; another name is kept (a channel file may
// add it) but said so, since a typing error would otherwise go unseen.
void WarnIfNotInPlan(const std::wstring& name) {
    if (name != L"*" && !InPlan(name))
        std::fprintf(stderr, "simreg: note: the built-in plan has no channel '%s'\n", Utf8Of(name).c_str());
}

// The recording must read and hold usable TS, as the simulator will need it.
bool CheckRecording(const std::wstring& path) {
    SimChannelSources reader;
    std::string error;
    std::shared_ptr<const std::vector<uint8_t>> bytes = reader.Recording(Utf8Of(path), &error);
    TsServiceInfo probe;
    if (bytes && TsReplayClip::Prepare(*bytes, probe, &error)) return true;
    std::fprintf(stderr, "simreg: %s: %s\n", Utf8Of(path).c_str(), error.c_str());
    return false;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    return length > 0 && length < MAX_PATH * 4 ? std::wstring(full, length) : path;
}

const char* const Synopsis =
    "at a glance:\n"
    "  simreg add-tuners N [--name NAME] [--path-template TEMPLATE]\n"
    "  simreg add-receivers SCENARIO\n"
    "  simreg list | clear | sources\n"
    "  simreg silence CHANNEL...\n"
    "  simreg replay CHANNEL FILE\n"
    "  simreg live CHANNEL...|--all\n"
    "  simreg register DLLPATH | unregister DLLPATH\n"
    "  simreg unplug|replug|stall|flow|nosignal|signal|abort N|--all\n"
    "  simreg unplug N|--all --no-event\n"
    "  simreg slow N|--all MS\n"
    "  simreg threading Apartment|Both\n"
    "  simreg replay-report DIR | replay-report --off\n"
    "  simreg sky [2025|built-in]\n"
    "  simreg COMMAND --help     the arguments of one command\n"
    "exit codes: 0 done, 1 the command failed, 2 usage error\n";

// What the command line said, in UTF-8 as CLI11 reads it.
struct Arguments {
    unsigned Count = 0;
    std::string Name;
    std::string PathTemplate;
    std::string Scenario;
    std::string Channel;
    std::vector<std::string> Channels;
    bool All = false;
    std::string File;
    unsigned Tuner = 0;             // the event commands' N (1-based, as `list` numbers them)
    SimDeviceEvent Event = SimDeviceEvent::Count;
    bool NoEvent = false;           // unplug --no-event
    std::vector<unsigned> SlowArgs; // slow's N MS, or MS with --all
    std::string Model;              // threading's model
    std::string Sky;                // sky: empty to show the one set
};

// The event commands: what each does to the tuner, for its help.
struct EventCommand {
    SimDeviceEvent Event;
    const char* Description;
};
const EventCommand EventCommands[] = {
    {SimDeviceEvent::Unplug, "unplugs tuner N: it leaves the device list, its graphs get\n"
                             "EC_DEVICE_LOST and every device call fails (--no-event: its\n"
                             "graphs are told nothing, of this nor of the replug)"},
    {SimDeviceEvent::Replug, "plugs tuner N back in (same device path); a graph still holding\n"
                             "its old filter gets EC_DEVICE_LOST with 1"},
    {SimDeviceEvent::Stall, "stalls tuner N's stream: no TS while device calls still work\n"
                            "(until flow, or a stream started afresh)"},
    {SimDeviceEvent::Flow, "ends tuner N's stall"},
    {SimDeviceEvent::NoSignal, "takes tuner N's signal away: level 0, no TS, at once"},
    {SimDeviceEvent::Signal, "gives tuner N its signal back"},
    {SimDeviceEvent::Abort, "aborts tuner N's running stream (EC_ERRORABORT)"},
};

enum class Command {
    Help, AddTuners, AddReceivers, List, Clear, Silence, Replay, Live, Sources, Register, Unregister,
    Event, Slow, Threading, ReplayReport, Sky
};

class CommandLine {
public:
    explicit CommandLine(Arguments* values)
        : app_("simreg: registers the simulated Tessel tuner in the current (Wine) prefix\n"
               "and sets what its channels carry",
               "simreg") {
        values->Name = Utf8Of(SimRegistry::DefaultTunerName());
        values->PathTemplate = Utf8Of(SimRegistry::DefaultPathTemplate());
        app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app_.require_subcommand(1);
        app_.set_help_flag("-h,--help", "prints this help");  // before the commands, which inherit it

        CLI::App* sub = Add("add-tuners", Command::AddTuners,
                            "adds N (1-64) simulated tuner instances; in TEMPLATE, {id} is\n"
                            "the instance identifier and {n} the tuner's ordinal");
        sub->add_option("N", values->Count, "how many tuners")
            ->required()
            ->transform(CLI::Validator(TakeCount, ""));
        sub->add_option("--name", values->Name, "their friendly name")
            ->type_name("NAME")
            ->capture_default_str()
            ->check([](const std::string& name) {
                return name.empty() ? std::string("the tuner name must not be empty") : std::string();
            });
        sub->add_option("--path-template", values->PathTemplate, "their DevicePath")
            ->type_name("TEMPLATE")
            ->capture_default_str();

        sub = Add("add-receivers", Command::AddReceivers,
                  "replaces the simulated receiver components by those of\n"
                  "SCENARIO: none, skipped-only, never-connects, pass-through,\n"
                  "several, skipped-then-pass-through, all");
        sub->add_option("SCENARIO", values->Scenario, "which receiver components")->required();

        Add("list", Command::List, "lists the BDA tuner and receiver devices");
        Add("clear", Command::Clear, "removes every simulated device instance");

        sub = Add("silence", Command::Silence,
                  "makes the channels (e.g. 20ch) silent: they tune, but give no\n"
                  "signal and no TS");
        sub->add_option("CHANNEL", values->Channels, "channel names")->required();

        sub = Add("replay", Command::Replay,
                  "the channel replays the TS recording FILE in a loop, with its\n"
                  "own TSID and service name (CHANNEL * stands for every channel\n"
                  "not named otherwise)");
        sub->add_option("CHANNEL", values->Channel, "a channel name, or *")->required();
        sub->add_option("FILE", values->File, "the TS recording")->required();

        sub = Add("live", Command::Live, "back to the synthetic stream");
        CLI::Option* channels = sub->add_option("CHANNEL", values->Channels, "channel names");
        sub->add_flag("--all", values->All, "every channel")->excludes(channels);
        sub->require_option(1);

        Add("sources", Command::Sources, "lists the channels that are silent or replay a file");
        Add("register", Command::Register, "calls DllRegisterServer of DLLPATH")
            ->add_option("DLLPATH", values->File, "the COM server DLL")
            ->required();
        Add("unregister", Command::Unregister, "calls DllUnregisterServer of DLLPATH")
            ->add_option("DLLPATH", values->File, "the COM server DLL")
            ->required();
        // Each reaches running processes within half a second.
        for (const EventCommand& command : EventCommands) {
            sub = Add(SimDeviceEventName(command.Event), Command::Event, command.Description);
            CLI::Option* number = sub->add_option("N", values->Tuner, "the tuner's number in `simreg list`")
                                      ->check(CLI::Range(1u, 64u));
            sub->add_flag("--all", values->All, "every tuner")->excludes(number);
            if (command.Event == SimDeviceEvent::Unplug) {
                sub->add_flag("--no-event", values->NoEvent, "the graphs are told nothing");
                sub->require_option(1, 2);
            } else {
                sub->require_option(1);
            }
            events_.Name(sub, command.Event);
        }
        sub = Add("slow", Command::Slow,
                  "every Run of a graph holding tuner N takes MS ms longer (0 to\n"
                  "60000; 0 is normal speed), as a device loading its firmware");
        // "N MS", or "--all MS".
        sub->add_option("N MS", values->SlowArgs,
                        "the tuner's number in `simreg list` (not with --all), then\nthe milliseconds")
            ->required()
            ->expected(1, 2)
            ->check(CLI::Range(0u, 60000u));
        sub->add_flag("--all", values->All, "every tuner");
        sub = Add("threading", Command::Threading,
                  "registers the simulator's filter classes again with that\n"
                  "ThreadingModel (Both, the default, or Apartment)");
        sub->add_option("MODEL", values->Model, "Apartment or Both")
            ->required()
            ->check(CLI::IsMember({"Apartment", "Both"}));
        sub = Add("replay-report", Command::ReplayReport,
                  "the simulated tuner becomes the one of a user's report folder\n"
                  "(bonhost selftest --report-dir, with the tracing DLL): its name\n"
                  "and device path, its recorded answers to every device call, and\n"
                  "the recorded TS on the tune tested (every other channel silent);\n"
                  "--off puts the tuners and channel sources back");
        CLI::Option* report = sub->add_option("DIR", values->File, "the report folder");
        sub->add_flag("--off", values->All, "no report replayed any more")->excludes(report);
        sub->require_option(1);
        sub = Add("sky", Command::Sky,
                  "which satellite streams the simulator carries: built-in (the\n"
                  "driver's built-in plan, the default) or 2025 (BS and CS110 as\n"
                  "broadcast in January 2025); without an argument, shows it");
        sub->add_option("SKY", values->Sky, "2025 or built-in")->check([](const std::string& name) {
            SimSkyKind sky;
            return SimSky::FromName(name, &sky) ? std::string() : "wants 2025 or built-in, got: " + name;
        });
        // `simreg help` shows the help too; the listing leaves it out.
        help_ = app_.add_subcommand("help", "")->group("");
        commands_.Name(help_, Command::Help);
        CliCommands<Command>::SetListing(app_, 17, Synopsis);
    }

    void Parse(const std::vector<std::string>& args) { CliCommands<Command>::Parse(app_, args); }
    bool Named() const { return commands_.Named(); }
    Command Selected() const { return commands_.Selected(Command::Help); }
    // The event command named, when one was.
    SimDeviceEvent SelectedEvent() const { return events_.Selected(SimDeviceEvent::Count); }

    // "simreg live --help", or "simreg --help" before a command was named.
    std::string HelpCommand() const {
        const CLI::App* named = commands_.NamedSub();
        return named != nullptr && named != help_ ? "simreg " + named->get_name() + " --help"
                                                  : "simreg --help";
    }
    std::string Help() const { return CliCommands<Command>::Help(app_, help_); }

private:
    CLI::App* Add(const char* name, Command command, const char* description) {
        CLI::App* sub = app_.add_subcommand(name, description)->group("Commands");
        sub->footer("exit codes: 0 done, 1 the command failed, 2 usage error");
        commands_.Name(sub, command);
        return sub;
    }

    CLI::App app_;
    CLI::App* help_ = nullptr;
    CliCommands<Command> commands_;
    CliCommands<SimDeviceEvent> events_;
};

}  // namespace

int SimRegCommand::Run(const std::vector<std::wstring>& args) {
    std::vector<std::string> utf8;
    for (const std::wstring& arg : args) utf8.push_back(Utf8Of(arg));
    Arguments values;
    CommandLine line(&values);
    try {
        line.Parse(utf8);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", line.Help().c_str());
        return 0;
    } catch (const CLI::ParseError& e) {
        // Said in the words of this tool when no command came first.
        std::string reason = e.what();
        if (utf8.empty())
            reason = "no command given";
        else if (!line.Named() && utf8[0].compare(0, 1, "-") != 0)
            reason = "unknown command '" + utf8[0] + "'";
        return UsageError(reason, line.HelpCommand());
    }
    switch (line.Selected()) {
        case Command::AddTuners:
            return AddTuners(values.Count, WideOf(values.Name), WideOf(values.PathTemplate));
        case Command::AddReceivers: return AddReceivers(WideOf(values.Scenario));
        case Command::List: return List();
        case Command::Clear: return Clear();
        case Command::Silence: return Silence(WideOf(values.Channels));
        case Command::Replay: return Replay(WideOf(values.Channel), WideOf(values.File));
        case Command::Live: return Live(WideOf(values.Channels), values.All);
        case Command::Sources: return Sources();
        case Command::Register: return Register(WideOf(values.File), true);
        case Command::Unregister: return Register(WideOf(values.File), false);
        case Command::Event:
            return Event(values.NoEvent ? SimDeviceEvent::SilentUnplug : line.SelectedEvent(),
                         values.Tuner, values.All);
        case Command::Slow: {
            const size_t wanted = values.All ? 1 : 2;
            if (values.SlowArgs.size() != wanted)
                return UsageError(values.All ? "slow --all takes MS alone" : "slow takes N and MS",
                                  "simreg slow --help");
            return Slow(values.All ? 0 : values.SlowArgs[0], values.All, values.SlowArgs.back());
        }
        case Command::Threading: return Threading(WideOf(values.Model));
        case Command::ReplayReport: return ReplayReport(WideOf(values.File), values.All);
        case Command::Sky: return Sky(values.Sky);
        default:
            std::printf("%s", line.Help().c_str());
            return 0;
    }
}

int SimRegCommand::AddTuners(unsigned count, const std::wstring& name, const std::wstring& pathTemplate) {
    std::vector<SimDeviceRecord> added;
    const HRESULT hr = SimRegistry::AddTuners(count, name, pathTemplate, &added);
    if (FAILED(hr)) return Failed("add-tuners", hr);
    for (const SimDeviceRecord& record : added)
        std::printf("added %s\t%s\n", Utf8Of(record.instance).c_str(), Utf8Of(record.devicePath).c_str());
    return 0;
}

int SimRegCommand::AddReceivers(const std::wstring& scenario) {
    const HRESULT hr = SimRegistry::SetReceiverScenario(scenario);
    if (hr == E_INVALIDARG)
        return UsageError("unknown scenario '" + Utf8Of(scenario) + "'", "simreg add-receivers --help");
    return FAILED(hr) ? Failed("add-receivers", hr) : 0;
}

int SimRegCommand::List() {
    // Tuners by the number the event commands take; an unplugged one keeps it.
    const std::vector<SimTunerEntry> tuners = SimDeviceEvents::Tuners();
    for (size_t i = 0; i < tuners.size(); ++i)
        PrintDevice("tuner " + std::to_string(i + 1), tuners[i].Record,
                    tuners[i].Plugged ? "" : "\tunplugged");
    for (const SimDeviceRecord& record : SimRegistry::List(SimCategoryReceiverComponent))
        PrintDevice("receiver", record, "");
    return 0;
}

int SimRegCommand::Clear() {
    const HRESULT hr = SimRegistry::Clear();
    return FAILED(hr) ? Failed("clear", hr) : 0;
}

int SimRegCommand::Register(const std::wstring& dll, bool registering) {
    HMODULE module = LoadLibraryW(dll.c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "simreg: cannot load '%s' (error %lu)\n", Utf8Of(dll).c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return ExitFailed;
    }
    typedef HRESULT(STDAPICALLTYPE * Entry)();
    const char* name = registering ? "DllRegisterServer" : "DllUnregisterServer";
    Entry entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    HRESULT hr = E_NOINTERFACE;
    if (entry != nullptr) hr = entry();
    FreeLibrary(module);
    if (entry == nullptr) {
        std::fprintf(stderr, "simreg: '%s' has no %s\n", Utf8Of(dll).c_str(), name);
        return ExitFailed;
    }
    return FAILED(hr) ? Failed(name, hr) : 0;
}

int SimRegCommand::Silence(const std::vector<std::wstring>& channels) {
    for (const std::wstring& channel : channels) {
        WarnIfNotInPlan(channel);
        const HRESULT hr = SimSourceRegistry::Set(channel, SimSourceRegistry::SilentValue());
        if (FAILED(hr)) return Failed("silence", hr);
    }
    return 0;
}

int SimRegCommand::Replay(const std::wstring& channel, const std::wstring& file) {
    WarnIfNotInPlan(channel);
    const std::wstring path = FullPath(file);
    if (!CheckRecording(path)) return ExitFailed;
    const HRESULT hr = SimSourceRegistry::Set(channel, path);
    return FAILED(hr) ? Failed("replay", hr) : 0;
}

int SimRegCommand::Live(const std::vector<std::wstring>& channels, bool all) {
    if (all) {
        const HRESULT hr = SimSourceRegistry::Clear();
        return FAILED(hr) ? Failed("live", hr) : 0;
    }
    for (const std::wstring& channel : channels) {
        const HRESULT hr = SimSourceRegistry::Remove(channel);
        if (FAILED(hr)) return Failed("live", hr);
    }
    return 0;
}

int SimRegCommand::Sources() {
    for (const auto& entry : SimSourceRegistry::List()) {
        const bool silent = entry.second == SimSourceRegistry::SilentValue();
        std::printf("%s\t%s%s\n", Utf8Of(entry.first).c_str(), silent ? "silent" : "replay\t",
                    silent ? "" : Utf8Of(entry.second).c_str());
    }
    return 0;
}

int SimRegCommand::Slow(unsigned tuner, bool all, unsigned ms) {
    const std::vector<SimTunerEntry> tuners = SimDeviceEvents::Tuners();
    if (!all && (tuner == 0 || tuner > tuners.size()))
        return UsageError("no tuner " + std::to_string(tuner) + " (simreg list numbers them)",
                          "simreg slow --help");
    for (size_t i = 0; i < tuners.size(); ++i) {
        if (!all && i + 1 != tuner) continue;
        const HRESULT hr = SimDeviceEvents::SetRunDelay(tuners[i].Record.devicePath, ms,
                                                        SimDeviceEvents::LoadedControl());
        if (FAILED(hr)) return Failed("slow", hr);
        std::printf("slow: tuner %zu\t%u ms\t%s\n", i + 1, ms,
                    Utf8Of(tuners[i].Record.devicePath).c_str());
    }
    return 0;
}

int SimRegCommand::Threading(const std::wstring& model) {
    const HRESULT hr = SimRegistry::SetThreadingModel(model);
    if (FAILED(hr)) return Failed("threading", hr);
    std::printf("threading: the simulator's classes are registered ThreadingModel %s\n",
                Utf8Of(model).c_str());
    return 0;
}

int SimRegCommand::Event(SimDeviceEvent event, unsigned tuner, bool all) {
    const std::vector<SimTunerEntry> tuners = SimDeviceEvents::Tuners();
    const char* name = SimDeviceEventName(event);
    if (!all && (tuner == 0 || tuner > tuners.size()))
        return UsageError("no tuner " + std::to_string(tuner) + " (simreg list numbers them)",
                          std::string("simreg ") + name + " --help");
    for (size_t i = 0; i < tuners.size(); ++i) {
        if (!all && i + 1 != tuner) continue;
        const HRESULT hr = SimDeviceEvents::Apply(event, tuners[i].Record.devicePath);
        if (FAILED(hr)) return Failed(name, hr);
        std::printf("%s: tuner %zu\t%s\n", name, i + 1, Utf8Of(tuners[i].Record.devicePath).c_str());
    }
    return 0;
}

namespace {

// A text of the report folder, bounded: a report is not trusted for its size.
bool ReadReportText(const std::wstring& dir, const wchar_t* name, std::string* text) {
    if (ReadWholeFile(dir + L"\\" + name, text, SimReplayPlan::MaxTextBytes)) return true;
    std::fprintf(stderr, "simreg: %s\\%s cannot be read or is larger than %u MiB\n", Utf8Of(dir).c_str(),
                 Utf8Of(name).c_str(), static_cast<unsigned>(SimReplayPlan::MaxTextBytes >> 20));
    return false;
}

// The report's tuners in place of the simulated ones, each as the user's
// system listed it (the path taken as it is).
HRESULT AddReportTuners(const std::vector<SimReplayTuner>& tuners) {
    HRESULT hr = SimRegistry::ClearCategory(SimCategoryNetworkTuner);
    for (const SimReplayTuner& tuner : tuners) {
        if (FAILED(hr)) break;
        SimDeviceRecord record;
        record.friendlyName = WideOf(tuner.FriendlyName);
        record.devicePath = WideOf(tuner.DevicePath);
        record.clsid = SimRegistry::GuidText(CLSID_SimTunerFilter);
        hr = SimRegistry::AddDevice(SimCategoryNetworkTuner, &record);
        if (SUCCEEDED(hr)) std::printf("tuner\t%s\t%s\n", tuner.FriendlyName.c_str(), tuner.DevicePath.c_str());
    }
    return hr;
}

}  // namespace

int SimRegCommand::ReplayReport(const std::wstring& folder, bool off) {
    if (off) {
        const HRESULT hr = SimReplayRegistry::RestoreSetup();
        if (FAILED(hr)) return Failed("replay-report --off", hr);
        std::printf(hr == S_OK ? "no report replayed; the tuners and channel sources are back as before\n"
                               : "no report replayed (none kept a setup to go back to)\n");
        return 0;
    }
    const std::wstring dir = FullPath(folder);
    std::string report, calls, tuners;
    if (!ReadReportText(dir, L"report.txt", &report) || !ReadReportText(dir, L"device-calls.txt", &calls))
        return ExitFailed;
    // A report without tuners.txt lists none.
    if (GetFileAttributesW((dir + L"\\tuners.txt").c_str()) != INVALID_FILE_ATTRIBUTES &&
        !ReadReportText(dir, L"tuners.txt", &tuners))
        return ExitFailed;
    SimReplayPlan plan;
    std::string error;
    if (!plan.Read(report, calls, tuners, &error)) {
        std::fprintf(stderr, "simreg: %s: %s\n", Utf8Of(dir).c_str(), error.c_str());
        return ExitFailed;
    }
    const std::wstring stream = dir + L"\\stream.ts";
    if (plan.HasStream() && !CheckRecording(stream)) return ExitFailed;

    HRESULT hr = SimReplayRegistry::KeepSetup();
    if (SUCCEEDED(hr)) hr = AddReportTuners(plan.Tuners());
    // Every channel silent but the tune the report recorded.
    if (SUCCEEDED(hr)) hr = SimSourceRegistry::Clear();
    if (SUCCEEDED(hr)) hr = SimSourceRegistry::Set(L"*", SimSourceRegistry::SilentValue());
    if (SUCCEEDED(hr) && plan.HasStream()) {
        const std::string tune = SimChannelSources::TuneKey(plan.StreamTune());
        hr = SimSourceRegistry::Set(WideOf(tune), stream);
        std::printf("stream\t%s (device-calls.txt line %zu)\treplays %s\n", tune.c_str(),
                    plan.StreamTuneLine(), Utf8Of(stream).c_str());
    }
    const std::wstring answers = dir + L"\\device-calls.txt";
    if (SUCCEEDED(hr)) hr = SimReplayRegistry::Set(answers);
    if (FAILED(hr)) return Failed("replay-report", hr);
    std::printf("answers\t%s (%zu device calls)\n", Utf8Of(answers).c_str(), plan.DeviceCalls());
    std::printf("put the report's settings\\ files beside the DLL and run bonhost selftest;\n"
                "simreg replay-report --off puts the tuners and channel sources back\n");
    return 0;
}

int SimRegCommand::Sky(const std::string& name) {
    SimSkyKind sky = SimSkyKind::BuiltIn;
    if (name.empty()) {
        std::printf("sky\t%s\n", SimSky::Name(SimSkyRegistry::Get()));
        return 0;
    }
    SimSky::FromName(name, &sky);  // the command line checked it
    const HRESULT hr = SimSkyRegistry::Set(sky);
    return FAILED(hr) ? Failed("sky", hr) : 0;
}
