// `bonhost selftest`: the checks a support person would ask for, in order,
// each PASS, FAIL (with a hint of what to do) or SKIP (when an earlier
// failure leaves nothing to check): the library and its exports, the INI
// beside it, the channel file beside it (judged by the driver's own loader),
// the tuner it names, OpenTuner, then the checks on the open
// tuner (TunerChecks), closing and reopening. The report file holds the same
// text after the system's details, for attaching to a question.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/bonhost/BonDriverModule.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/SelfTestReport.h"
#include "tools/bonhost/TunerChecks.h"

class BonhostSelfTest {
public:
    explicit BonhostSelfTest(const BonhostOptions& options);

    // Runs every check; with `print`, each line appears as its check ends.
    // The report stays owned by this object.
    const SelfTestReport& Run(bool print);

    // The whole command: run and print, write --report; the exit code is the
    // number of failed checks.
    int RunCommand();

    // The report file's text: the system's details, then the checks.
    std::string ReportText() const;

    // After Run: the channel the self-test tuned (or tried first); false
    // when it tuned none.
    bool TunedChannel(DWORD* space, DWORD* channel) const;
    // After Run: the library and its driver, while still loaded (null once
    // Unload ran or when it did not load).
    BonDriverModule& Module() { return module_; }
    bool Loaded() const { return loaded_ && module_.Driver() != nullptr; }
    // After Run: the smart-card exchanges the checks made (none without an open tuner).
    const std::vector<CardExchange>& CardExchanges() const { return cardExchanges_; }
    const std::wstring& IniPath() const { return settings_.IniPath; }
    const std::wstring& DllPath() const { return dllPath_; }

private:
    struct Settings {
        std::wstring IniPath;
        bool Found = false;
        std::string Network, TunerName;
        int DeviceId = 0;
        std::string TunerPath;  // of the tuner found (UTF-8)
    };

    // Runs `check` as the check `name`, timing it, unless `ready` is false.
    template <class Check>
    void Record(const char* name, bool ready, const char* needs, Check check);
    bool Passed(const char* name) const;

    void CheckLibrary(CheckResult* result);
    void CheckSettings(CheckResult* result);
    void CheckChannelFile(CheckResult* result);
    void CheckTuner(CheckResult* result);
    void CheckRecovery(CheckResult* result);
    void CheckOpen(CheckResult* result);

    BonhostOptions options_;
    std::wstring dllPath_;
    BonDriverModule module_;
    bool loaded_ = false;
    Settings settings_;
    std::unique_ptr<TunerChecks> tuner_;
    bool haveChannel_ = false;
    DWORD space_ = 0, channel_ = 0;
    std::vector<CardExchange> cardExchanges_;
    SelfTestReport report_;
    bool print_ = false;
};
