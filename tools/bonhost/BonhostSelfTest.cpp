#include "tools/bonhost/BonhostSelfTest.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "channels/ChannelFileLoader.h"
#include "devices/ClassThreading.h"
#include "devices/DeviceCategory.h"
#include "devices/DeviceProperties.h"
#include "platform/BdaGuids.h"
#include "platform/BuildVersion.h"
#include "tools/bonhost/BonhostChannelFile.h"
#include "tools/bonhost/BonhostText.h"
#include "tools/bonhost/BonhostTuners.h"
#include "tools/bonhost/SystemDescription.h"

namespace {

// Everything the library exports by name besides CreateBonDriver.
const char* const ExtensionExports[] = {
    "TesselBonDriver_EnableDisableHardwarePidFilter", "TesselBonDriver_ResetHardwarePidFilter",
    "TesselBonDriver_SetHardwarePidFilterAddPID", "TesselBonDriver_SetHardwarePidFilterRemovePID",
    "TesselBonDriver_GetRemoteControlKey", "TesselBonDriver_CheckLNBPowerCircuit",
    "TesselBonDriver_SetLNBPower", "TesselBonDriver_GetLNBPower",
    "TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber", "SCardEstablishContext",
    "SCardReleaseContext", "SCardListReadersW", "SCardConnectW", "SCardDisconnect", "SCardTransmit",
    "g_rgSCardT0Pci", "g_rgSCardT1Pci", "g_rgSCardRawPci",
};
constexpr DWORD BadExeFormat = 193;  // ERROR_BAD_EXE_FORMAT: the other architecture

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[4096];
    const DWORD length = GetFullPathNameW(path.c_str(), 4096, full, nullptr);
    return length > 0 && length < 4096 ? std::wstring(full, length) : path;
}

std::string ReadIniText(const std::wstring& ini, const wchar_t* key) {
    wchar_t value[512] = {};
    GetPrivateProfileStringW(L"FRONTEND", key, L"", value, 512, ini.c_str());
    return Utf8FromWide(value);
}

// A whole number from `low` to `high` in decimal digits only, else
// `fallback`: the driver reads its INI numbers so.
uint32_t ReadIniBounded(const std::wstring& ini, const wchar_t* key, uint32_t low, uint32_t high,
                        uint32_t fallback) {
    const std::string text = ReadIniText(ini, key);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    const uint32_t value = static_cast<uint32_t>(std::stoul(text));
    return value >= low && value <= high ? value : fallback;
}

// The class the tuner's moniker binds to ("CLSID" of its property bag).
bool TunerClass(const std::string& name, const std::string& path, GUID* clsid) {
    const HRESULT com = CoInitialize(nullptr);
    bool found = false;
    {
        ComPtr<ICreateDevEnum> devices;
        DeviceCategory walk;
        ComPtr<IMoniker> moniker;
        DeviceText readName, text;
        DeviceProperties properties;
        found = SUCCEEDED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_ICreateDevEnum, devices.ReceiveVoid())) &&
                walk.Open(devices.Get(), CategoryBdaNetworkTuner) == DeviceCategory::OpenResult::Opened &&
                walk.Find(WideFromUtf8(name).c_str(), WideFromUtf8(path).c_str(), &moniker, &readName) &&
                properties.Bind(moniker.Get()) && properties.Read(WIDE("CLSID"), &text) &&
                SUCCEEDED(CLSIDFromString(text.c_str(), clsid));
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return found;
}

std::string TunerList(const std::vector<TunerListing>& tuners) {
    if (tuners.empty()) return "no BDA tuner at all: install the tuner's own (BDA) driver and plug it in";
    std::string list = "the tuners on this PC (copy one's lines into the INI):";
    for (const TunerListing& tuner : tuners) list += "\n  " + tuner.Name + ": " + TunerIniLines(tuner);
    return list;
}

}  // namespace

BonhostSelfTest::BonhostSelfTest(const BonhostOptions& options)
    : options_(options), dllPath_(FullPath(WideFromUtf8(options.Driver))) {}

template <class Check>
void BonhostSelfTest::Record(const char* name, bool ready, const char* needs, Check check) {
    CheckResult result;
    result.Name = name;
    const auto start = std::chrono::steady_clock::now();
    if (ready)
        check(&result);
    else
        Judge(&result, CheckVerdict::Skip, std::string("needs ") + needs);
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    report_.Add(result);
    if (print_) {
        std::printf("%s", SelfTestReport::Line(result).c_str());
        std::fflush(stdout);
    }
}

bool BonhostSelfTest::Passed(const char* name) const {
    const CheckResult* check = report_.Find(name);
    return check != nullptr && check->Verdict == CheckVerdict::Pass;
}

const SelfTestReport& BonhostSelfTest::Run(bool print) {
    print_ = print;
    Record("library", true, "", [&](CheckResult* r) { CheckLibrary(r); });
    Record("settings", true, "", [&](CheckResult* r) { CheckSettings(r); });
    Record("channels", loaded_ && Passed("settings"), "the library and the INI",
           [&](CheckResult* r) { CheckChannelFile(r); });
    Record("tuner", Passed("settings"), "the INI", [&](CheckResult* r) { CheckTuner(r); });
    Record("recovery", Passed("tuner"), "the tuner", [&](CheckResult* r) { CheckRecovery(r); });
    Record("open", loaded_ && Passed("tuner"), "the library and the tuner",
           [&](CheckResult* r) { CheckOpen(r); });
    const bool open = Passed("open");
    Record("tune", open, "an open tuner",
           [&](CheckResult* r) { tuner_->Tune(options_.Space, options_.Channel, r); });
    const bool tuned = open && tuner_->Tuned();
    Record("stream", tuned, "a tuned channel", [&](CheckResult* r) { tuner_->Stream(r); });
    Record("pidfilter", tuned && tuner_->Streamed(), "a stream",
           [&](CheckResult* r) { tuner_->PidFilter(r); });
    Record("card", open, "an open tuner", [&](CheckResult* r) { tuner_->CardReader(r); });
    Record("remote", open, "an open tuner", [&](CheckResult* r) { tuner_->RemoteKey(r); });
    Record("lnb", open, "an open tuner", [&](CheckResult* r) { tuner_->Lnb(r); });
    Record("reopen", open, "an open tuner", [&](CheckResult* r) { tuner_->Reopen(r); });
    if (tuner_ != nullptr) {
        haveChannel_ = tuner_->Channel(&space_, &channel_);
        cardExchanges_ = tuner_->CardExchanges();
    }
    tuner_.reset();
    return report_;
}

void BonhostSelfTest::CheckLibrary(CheckResult* result) {
    std::string error;
    if (module_.Load(dllPath_, &error) != BonDriverModule::Loaded) {
        const std::string hint =
            module_.LoadError() == BadExeFormat
                ? "this DLL is for the other architecture: a 32-bit host (and bonhost) needs\n"
                  "the 32-bit DLL, a 64-bit one the 64-bit DLL"
                : "give the full path of BonDriver_TesselBDA.dll; a copy that will not load\n"
                  "may be damaged: take it from the release package again";
        return Judge(result, CheckVerdict::Fail, error, hint);
    }
    std::string missing;
    for (const char* name : ExtensionExports)
        if (GetProcAddress(module_.Module(), name) == nullptr) missing += std::string(" ") + name;
    loaded_ = true;
    const std::string version = "version " + SystemDescription::FileVersion(dllPath_);
    if (!missing.empty())
        return Judge(result, CheckVerdict::Fail, version + "; missing exports:" + missing,
                     "this is not a complete BonDriver_TesselBDA.dll: take it from the release package");
    Judge(result, CheckVerdict::Pass, Utf8FromWide(dllPath_.c_str()) + " loads (" + version +
                                          "), CreateBonDriver and " +
                                          std::to_string(sizeof ExtensionExports / sizeof *ExtensionExports) +
                                          " more exports present");
}

void BonhostSelfTest::CheckSettings(CheckResult* result) {
    // The driver's own rule: the module's path with "ini" for its last three characters.
    settings_.IniPath = dllPath_.size() >= 3 ? dllPath_.substr(0, dllPath_.size() - 3) + L"ini" : dllPath_;
    const std::string ini = Utf8FromWide(settings_.IniPath.c_str());
    settings_.Found = GetFileAttributesW(settings_.IniPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!settings_.Found)
        return Judge(result, CheckVerdict::Fail, "no " + ini,
                     "put the INI beside the DLL with the DLL's name and the extension .ini\n"
                     "(the sample BonDriver_TesselBDA.ini in the package explains each line)");
    settings_.Network = ReadIniText(settings_.IniPath, L"NetworkName");
    settings_.TunerName = ReadIniText(settings_.IniPath, L"TunerFrendlyName");
    settings_.DeviceId = static_cast<int>(
        GetPrivateProfileIntW(L"FRONTEND", L"DeviceID", 0, settings_.IniPath.c_str()));
    const std::string values = ini + ": NetworkName=" + settings_.Network + ", TunerFrendlyName=" +
                               settings_.TunerName + ", DeviceID=" + std::to_string(settings_.DeviceId);
    if (settings_.Network != "ISDBT" && settings_.Network != "ISDBS")
        return Judge(result, CheckVerdict::Fail, values,
                     "NetworkName must be ISDBT (terrestrial and cable) or ISDBS (BS and CS110),\n"
                     "written exactly so, in upper case");
    if (settings_.TunerName.empty())
        return Judge(result, CheckVerdict::Fail, values,
                     "set TunerFrendlyName (and DeviceID) to what `bonhost tuners` prints");
    Judge(result, CheckVerdict::Pass, values);
}

void BonhostSelfTest::CheckChannelFile(CheckResult* result) {
    ChannelList list;
    const ChannelFileReport file = ChannelFileLoader::Load(
        module_.Module(), NetworkFromName(WideFromUtf8(settings_.Network).c_str()), &list);
    const std::string path = Utf8Of(file.Path);
    const std::string plan = PlanSize(list);
    switch (file.State) {
        case ChannelFileState::Missing:
            return Judge(result, CheckVerdict::Pass, "none (no " + path + "): built-in " + plan);
        case ChannelFileState::Loaded:
            return Judge(result, CheckVerdict::Pass, path + " in use: " + plan);
        case ChannelFileState::Refused:
            break;
    }
    std::string where = path;
    if (file.Error.Line != 0) where += ", line " + std::to_string(file.Error.Line);
    Judge(result, CheckVerdict::Fail, "*** CHANNEL FILE REFUSED *** " + where + ": " + file.Error.Message,
          "the driver ignores the whole file and lists its built-in channels; correct\n"
          "that line (the users' guide gives the rules) or remove the file");
}

void BonhostSelfTest::CheckTuner(CheckResult* result) {
    std::vector<TunerListing> tuners;
    if (!ListTuners(&tuners))
        return Judge(result, CheckVerdict::Fail, "the system device enumerator is missing",
                     "DirectShow is not available on this Windows: repair the system");
    for (const TunerListing& tuner : tuners)
        if (tuner.Name == settings_.TunerName && tuner.DeviceId == settings_.DeviceId) {
            settings_.TunerPath = tuner.DevicePath;
            return Judge(result, CheckVerdict::Pass, "found " + tuner.Name + " at " + tuner.DevicePath);
        }
    Judge(result, CheckVerdict::Fail,
          "no tuner named \"" + settings_.TunerName + "\" with DeviceID " +
              std::to_string(settings_.DeviceId),
          TunerList(tuners));
}

// Whether the driver brings a lost tuner back by itself, and why not. Its
// recovery thread makes and calls the graph's components from the
// multithreaded apartment, so it does so only for components registered to
// be used from any apartment; otherwise a lost tuner comes back when the
// host closes and opens it again.
void BonhostSelfTest::CheckRecovery(CheckResult* result) {
    const uint32_t autoRecover = ReadIniBounded(settings_.IniPath, L"AutoRecover", 0, 1, 1);
    const uint32_t stall = ReadIniBounded(settings_.IniPath, L"StallSeconds", 0, 600, 10);
    if (autoRecover == 0)
        return Judge(result, CheckVerdict::Pass,
                     "self-recovery off (AutoRecover=0): a lost tuner comes back when the host "
                     "closes and opens it");
    struct Component {
        GUID Clsid;
        std::string Name;
    };
    std::vector<Component> components = {
        {ClsidTesselNetworkProvider, "Tessel's Network Provider"},
        {ClsidTesselNullTerminal, "Null Terminal"},
        {CLSID_FilterGraph, "the filter graph manager"},
        {CLSID_SystemDeviceEnum, "the system device enumerator"}};
    GUID tuner = GUID_NULL;
    if (TunerClass(settings_.TunerName, settings_.TunerPath, &tuner))
        components.insert(components.begin(), {tuner, "the tuner's device filter"});
    for (const Component& component : components) {
        const ClassThreadingInfo info = ReadClassThreading(component.Clsid);
        if (AnyApartment(info.Model)) continue;
        return Judge(result, CheckVerdict::Pass,
                     "self-recovery OFF for this tuner: " + component.Name + " (" +
                         Utf8FromWide(ClassIdText(component.Clsid).c_str()) +
                         ") is registered ThreadingModel=" +
                         (info.Text.empty() ? std::string("(none)") : Utf8FromWide(info.Text.c_str())) +
                         ", not Both or Free; a lost tuner comes back when the host closes and "
                         "opens it");
    }
    Judge(result, CheckVerdict::Pass,
          "self-recovery on (AutoRecover=1, StallSeconds=" + std::to_string(stall) +
              "): the tuner's components are registered free-threaded");
}

void BonhostSelfTest::CheckOpen(CheckResult* result) {
    IBonDriver2* driver = module_.Driver();
    if (!driver->OpenTuner())
        return Judge(result, CheckVerdict::Fail, "OpenTuner failed",
                     "close every other program that uses the tuner (TV viewers, recorders),\n"
                     "replug it, and check that its own BDA driver is installed");
    tuner_.reset(new TunerChecks(module_.Module(), driver, settings_.Network == "ISDBS"));
    Judge(result, CheckVerdict::Pass, "OpenTuner succeeded: " + Utf8FromWide(driver->GetTunerName()));
}

bool BonhostSelfTest::TunedChannel(DWORD* space, DWORD* channel) const {
    *space = space_;
    *channel = channel_;
    return haveChannel_;
}

std::string BonhostSelfTest::ReportText() const {
    return std::string("bonhost selftest ") + BDA_VERSION_TEXT + "\n" +
           "system: " + SystemDescription::WindowsVersion() + ", " +
           SystemDescription::Architecture() + "\n" + "library: " +
           Utf8FromWide(dllPath_.c_str()) + ", version resource " +
           SystemDescription::FileVersion(dllPath_) + "\n\n" + report_.Text();
}

int BonhostSelfTest::RunCommand() {
    std::printf("bonhost selftest %s: %s\n", BDA_VERSION_TEXT, Utf8FromWide(dllPath_.c_str()).c_str());
    Run(true);
    const std::string text = report_.Text();
    std::printf("%s", text.substr(text.rfind('\n', text.size() - 2) + 1).c_str());
    if (!options_.Report.empty()) {
        std::FILE* out = _wfopen(WideFromUtf8(options_.Report).c_str(), L"wb");
        const std::string report = ReportText();
        const bool ok = out != nullptr && std::fwrite(report.data(), 1, report.size(), out) == report.size();
        if (out != nullptr) std::fclose(out);
        std::printf(ok ? "report written to %s\n" : "cannot write the report %s\n", options_.Report.c_str());
    }
    return report_.Failed();
}
