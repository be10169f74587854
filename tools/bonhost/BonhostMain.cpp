// bonhost: a small command-line host for BonDriver plug-ins. It loads any
// BonDriver DLL by path and drives it through IBonDriver2 only, as viewer
// and recorder applications do.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/BuildVersion.h"
#include "tools/bonhost/BonDriverModule.h"
#include "tools/bonhost/BonhostChannelFile.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostExtras.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/BonhostRecorder.h"
#include "tools/bonhost/BonhostScanner.h"
#include "tools/bonhost/BonhostSelfTest.h"
#include "tools/bonhost/BonhostText.h"
#include "tools/bonhost/BonhostTuners.h"
#include "tools/bonhost/SupportReport.h"

namespace {

std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(argv[i]));
    LocalFree(argv);
    return args;
}

int RunWithDriver(const BonhostOptions& options) {
    BonDriverModule module;
    std::string error;
    BonDriverModule::Result loaded = module.Load(WideFromUtf8(options.Driver), &error);
    if (loaded != BonDriverModule::Loaded) {
        std::fprintf(stderr, "bonhost: %s\n", error.c_str());
        return static_cast<int>(loaded);
    }
    switch (options.Command) {
        case BonhostCommand::Info: {
            // Last, so a refused file is not scrolled away by the listing.
            const int code = BonhostInfo(module.Driver());
            PrintChannelFileReport(module.Module());
            return code;
        }
        case BonhostCommand::Pid:
            return BonhostPid(module.Module(), module.Driver(), options);
        case BonhostCommand::Card:
            return BonhostCard(module.Module(), module.Driver(), options);
        case BonhostCommand::Keys:
            return BonhostKeys(module.Module(), module.Driver(), options);
        case BonhostCommand::Lnb:
            return BonhostLnb(module.Module(), module.Driver(), options);
        case BonhostCommand::Scan: {
            BonhostScanner scanner(module.Driver(), module.Module());
            return scanner.Run(options);
        }
        default: {
            BonhostRecorder recorder(module.Driver());
            return recorder.Run(options);
        }
    }
}

// Runs the command line; *command says which command it named.
int Run(BonhostCommand* command) {
    BonhostOptions options;
    std::string error;
    const bool parsed = ParseBonhostOptions(CommandLineArguments(), &options, &error);
    *command = options.Command;
    if (!parsed) {
        std::fprintf(stderr, "bonhost: %s\nrun '%s' for the options\n", error.c_str(),
                     BonhostHelpCommand(options.Command).c_str());
        return ExitUsage;
    }
    switch (options.Command) {
        case BonhostCommand::Help:
            std::printf("%s", options.HelpText.c_str());
            return ExitOk;
        case BonhostCommand::Version:
            std::printf("bonhost %s (%u-bit)\n", BDA_VERSION_TEXT, static_cast<unsigned>(sizeof(void*) * 8));
            return ExitOk;
        case BonhostCommand::Tuners:
            return BonhostTuners();
        case BonhostCommand::SelfTest: {
            // The self-test loads the library itself: a library that will not
            // load is its first finding, not a reason to stop.
            if (!options.ReportDir.empty()) return SupportReport(options).Run();
            BonhostSelfTest selfTest(options);
            return selfTest.RunCommand();
        }
        default:
            return RunWithDriver(options);
    }
}

// A tuner server starts a tuner command that ended early again 100 ms later,
// for as long as its clients wait: a failing `record` ends no sooner than
// this, so a setup fault does not become a busy loop.
constexpr ULONGLONG FailingRecordMs = 1000;

int RunCommand(BonhostCommand* command) {
    try {
        return Run(command);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bonhost: %s\n", e.what());
        return ExitUsage;
    }
}

}  // namespace

int main() {
    const ULONGLONG start = GetTickCount64();
    BonhostCommand command = BonhostCommand::Help;
    const int code = RunCommand(&command);
    const ULONGLONG ran = GetTickCount64() - start;
    if (command == BonhostCommand::Record && code != ExitOk && ran < FailingRecordMs)
        Sleep(static_cast<DWORD>(FailingRecordMs - ran));
    return code;
}
