#include "tools/simreg/SimRegCommand.h"

#include <cstdio>
#include <cwchar>

#include <windows.h>

#include "channels/ChannelPlan.h"
#include "channels/ChannelText.h"
#include "sim/SimChannelSources.h"
#include "sim/SimClassIds.h"
#include "sim/SimRegistry.h"
#include "sim/SimSourceRegistry.h"
#include "ts/TsReplayClip.h"

namespace {

int UsageError(const char* message) {
    std::fprintf(stderr, "simreg: %s\n%s", message, SimRegCommand::Usage());
    return 2;
}

int Failed(const char* what, HRESULT hr) {
    std::fprintf(stderr, "simreg: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

void PrintDevices(const char* kind, const GUID& category) {
    for (const SimDeviceRecord& record : SimRegistry::List(category))
        std::printf("%s\t%s\t%s\t%s\t%s\n", kind, Utf8Of(record.instance).c_str(),
                    Utf8Of(record.friendlyName).c_str(), Utf8Of(record.devicePath).c_str(),
                    Utf8Of(record.clsid).c_str());
}

// Parses a decimal count of 1 to 64.
bool ParseCount(const std::wstring& text, unsigned* count) {
    wchar_t* end = nullptr;
    const unsigned long value = wcstoul(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || value < 1 || value > 64) return false;
    *count = static_cast<unsigned>(value);
    return true;
}

// True when some tuning space of the built-in plan has a channel so named.
bool InPlan(const std::wstring& name) {
    for (Network network : {Network::IsdbT, Network::IsdbS})
        for (uint32_t space = 0; TuningSpaceName(network, space) != nullptr; ++space)
            for (uint32_t index = 0; index < ChannelCount(network, space); ++index)
                if (name == LookupChannel(network, space, index)->Name) return true;
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

}  // namespace

const char* SimRegCommand::Usage() {
    return "usage: simreg COMMAND [ARGS]\n"
           "  add-tuners N [--name NAME] [--path-template TEMPLATE]\n"
           "      adds N (1-64) simulated tuner instances; in TEMPLATE, {id} is the\n"
           "      instance identifier and {n} the tuner's ordinal\n"
           "  add-receivers SCENARIO\n"
           "      replaces the simulated receiver components by those of SCENARIO:\n"
           "      none, skipped-only, never-connects, pass-through, several,\n"
           "      skipped-then-pass-through, all\n"
           "  list                 lists the BDA tuner and receiver devices\n"
           "  clear                removes every simulated device instance\n"
           "  silence CHANNEL...   makes the channels (e.g. 20ch) silent: they tune, but\n"
           "                       give no signal and no TS\n"
           "  replay CHANNEL FILE  the channel replays the TS recording FILE in a loop,\n"
           "                       with its own TSID and service name (CHANNEL * stands\n"
           "                       for every channel not named otherwise)\n"
           "  live CHANNEL...|--all  back to the synthetic stream\n"
           "  sources              lists the channels that are silent or replay a file\n"
           "  register DLLPATH     calls DllRegisterServer of DLLPATH\n"
           "  unregister DLLPATH   calls DllUnregisterServer of DLLPATH\n"
           "  --help               shows this text\n";
}

int SimRegCommand::Run(const std::vector<std::wstring>& args) {
    if (args.empty()) return UsageError("no command given");
    const std::wstring& command = args[0];
    const std::vector<std::wstring> rest(args.begin() + 1, args.end());
    if (command == L"--help" || command == L"-h" || command == L"help") {
        std::printf("%s", Usage());
        return 0;
    }
    if (command == L"add-tuners") return AddTuners(rest);
    if (command == L"add-receivers") return AddReceivers(rest);
    if (command == L"list" && rest.empty()) return List();
    if (command == L"clear" && rest.empty()) return Clear();
    if (command == L"silence") return Silence(rest);
    if (command == L"replay") return Replay(rest);
    if (command == L"live") return Live(rest);
    if (command == L"sources" && rest.empty()) return Sources();
    if (command == L"register") return Register(rest, true);
    if (command == L"unregister") return Register(rest, false);
    if (command == L"list" || command == L"clear" || command == L"sources")
        return UsageError("this command takes no argument");
    return UsageError(("unknown command '" + Utf8Of(command) + "'").c_str());
}

int SimRegCommand::AddTuners(const std::vector<std::wstring>& args) {
    unsigned count = 0;
    if (args.empty() || !ParseCount(args[0], &count))
        return UsageError("add-tuners wants a count from 1 to 64");
    std::wstring name = SimRegistry::DefaultTunerName();
    std::wstring pathTemplate = SimRegistry::DefaultPathTemplate();
    for (size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return UsageError("an option lacks its value");
        if (args[i] == L"--name") name = args[i + 1];
        else if (args[i] == L"--path-template") pathTemplate = args[i + 1];
        else return UsageError(("unknown option '" + Utf8Of(args[i]) + "'").c_str());
    }
    if (name.empty()) return UsageError("the tuner name must not be empty");
    std::vector<SimDeviceRecord> added;
    const HRESULT hr = SimRegistry::AddTuners(count, name, pathTemplate, &added);
    if (FAILED(hr)) return Failed("add-tuners", hr);
    for (const SimDeviceRecord& record : added)
        std::printf("added %s\t%s\n", Utf8Of(record.instance).c_str(), Utf8Of(record.devicePath).c_str());
    return 0;
}

int SimRegCommand::AddReceivers(const std::vector<std::wstring>& args) {
    if (args.size() != 1) return UsageError("add-receivers wants one scenario");
    const HRESULT hr = SimRegistry::SetReceiverScenario(args[0]);
    if (hr == E_INVALIDARG)
        return UsageError(("unknown scenario '" + Utf8Of(args[0]) + "'").c_str());
    return FAILED(hr) ? Failed("add-receivers", hr) : 0;
}

int SimRegCommand::List() {
    PrintDevices("tuner", SimCategoryNetworkTuner);
    PrintDevices("receiver", SimCategoryReceiverComponent);
    return 0;
}

int SimRegCommand::Clear() {
    const HRESULT hr = SimRegistry::Clear();
    return FAILED(hr) ? Failed("clear", hr) : 0;
}

int SimRegCommand::Register(const std::vector<std::wstring>& args, bool registering) {
    if (args.size() != 1) return UsageError("register and unregister want one DLL path");
    HMODULE module = LoadLibraryW(args[0].c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "simreg: cannot load '%s' (error %lu)\n", Utf8Of(args[0]).c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    typedef HRESULT(STDAPICALLTYPE * Entry)();
    const char* name = registering ? "DllRegisterServer" : "DllUnregisterServer";
    Entry entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    HRESULT hr = E_NOINTERFACE;
    if (entry != nullptr) hr = entry();
    FreeLibrary(module);
    if (entry == nullptr) {
        std::fprintf(stderr, "simreg: '%s' has no %s\n", Utf8Of(args[0]).c_str(), name);
        return 1;
    }
    return FAILED(hr) ? Failed(name, hr) : 0;
}

int SimRegCommand::Silence(const std::vector<std::wstring>& args) {
    if (args.empty()) return UsageError("silence wants at least one channel name");
    for (const std::wstring& channel : args) {
        WarnIfNotInPlan(channel);
        const HRESULT hr = SimSourceRegistry::Set(channel, SimSourceRegistry::SilentValue());
        if (FAILED(hr)) return Failed("silence", hr);
    }
    return 0;
}

int SimRegCommand::Replay(const std::vector<std::wstring>& args) {
    if (args.size() != 2) return UsageError("replay wants a channel name and a TS file");
    WarnIfNotInPlan(args[0]);
    const std::wstring path = FullPath(args[1]);
    if (!CheckRecording(path)) return 1;
    const HRESULT hr = SimSourceRegistry::Set(args[0], path);
    return FAILED(hr) ? Failed("replay", hr) : 0;
}

int SimRegCommand::Live(const std::vector<std::wstring>& args) {
    if (args.empty()) return UsageError("live wants channel names or --all");
    if (args.size() == 1 && args[0] == L"--all") {
        const HRESULT hr = SimSourceRegistry::Clear();
        return FAILED(hr) ? Failed("live", hr) : 0;
    }
    for (const std::wstring& channel : args) {
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
