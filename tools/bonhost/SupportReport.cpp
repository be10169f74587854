#include "tools/bonhost/SupportReport.h"

#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <sstream>

#include "channels/ChannelFileLoader.h"
#include "platform/DeviceCallText.h"
#include "platform/FileText.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostScanner.h"
#include "tools/bonhost/BonhostSelfTest.h"
#include "tools/bonhost/BonhostText.h"
#include "tools/bonhost/BonhostTuners.h"
#include "tools/bonhost/DebugOutputCapture.h"
#include "tools/bonhost/ScanReport.h"
#include "tools/bonhost/StreamReader.h"

namespace {

const char DeviceCallPrefix[] = "(DeviceCall) ";
const char DriverTraceMark[] = "(CMyBonDriver::";

// Creates `folder` and the folders above it.
bool MakeFolders(const std::wstring& folder) {
    for (size_t at = folder.find_first_of(L"\\/", 3); ; at = folder.find_first_of(L"\\/", at + 1)) {
        const std::wstring part = folder.substr(0, at);
        if (!part.empty() && !CreateDirectoryW(part.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (at == std::wstring::npos) return true;
    }
}

std::string Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute);
    return text;
}

// The card's answer without its bytes: the two length bytes and a body,
// keeping the body's last two bytes (the status word).
DeviceCallItem HiddenAnswer(const DeviceCallItem& answer) {
    return DeviceCallItem::HiddenOf(answer.Bytes, answer.Bytes.size() >= 4 ? 2 : 0);
}

std::string TunerListText() {
    std::vector<TunerListing> tuners;
    if (!ListTuners(&tuners)) return "the system device enumerator is not available\n";
    if (tuners.empty()) return "no BDA network tuner found\n";
    std::string text;
    for (size_t i = 0; i < tuners.size(); ++i)
        text += std::to_string(i + 1) + ". " + tuners[i].Name + "\n   DevicePath: " +
                tuners[i].DevicePath + "\n   " + TunerIniLines(tuners[i]) + "\n";
    return text;
}

// N seconds of the channel the self-test tuned, as a host records them.
std::string RecordStream(BonhostSelfTest& selfTest, double seconds, std::string* note) {
    DWORD space = 0, channel = 0;
    if (!selfTest.Loaded() || !selfTest.TunedChannel(&space, &channel)) {
        *note = "no stream: the self-test tuned no channel";
        return std::string();
    }
    IBonDriver2* driver = selfTest.Module().Driver();
    if (!driver->OpenTuner() || !driver->SetChannel(space, channel)) {
        *note = "no stream: the tuner would not open or tune again";
        driver->CloseTuner();
        return std::string();
    }
    // What came before the tune took effect is another stream: as hosts do,
    // purge once the new one flows, so the file holds one stream only.
    Sleep(300);
    driver->PurgeTsStream();
    std::string bytes;
    StreamReader reader(driver);
    reader.Read(static_cast<DWORD>(seconds * 1000), [&](const BYTE* data, DWORD size) {
        bytes.append(reinterpret_cast<const char*>(data), size);
    }, nullptr);
    driver->CloseTuner();
    const wchar_t* name = driver->EnumChannelName(space, channel);
    *note = "stream.ts: " + std::to_string(bytes.size()) + " bytes of space " + std::to_string(space) +
            ", channel " + std::to_string(channel) + (name != nullptr ? " (" + Utf8FromWide(name) + ")" : "");
    return bytes;
}

std::string ScanJson(BonhostSelfTest& selfTest, uint32_t dwellMs) {
    IBonDriver2* driver = selfTest.Module().Driver();
    if (!selfTest.Loaded() || !driver->OpenTuner()) return std::string();
    BonhostScanner scanner(driver, selfTest.Module().Module());
    std::vector<DWORD> spaces;
    for (DWORD space = 0; driver->EnumTuningSpace(space) != nullptr; ++space) spaces.push_back(space);
    const std::string json = ScanReport::Json(scanner.Scan(spaces, dwellMs, false));
    driver->CloseTuner();
    return json;
}

}  // namespace

std::string SupportReport::PrivateLine(const std::string& line, bool keepCardData) {
    const size_t at = line.find(DeviceCallPrefix);
    if (keepCardData || at == std::string::npos) return line;
    DeviceCall call;
    const std::string text = line.substr(at + sizeof DeviceCallPrefix - 1);
    if (!DeviceCallText::Parse(text, &call) || call.Operation != "TransmitCardCommand")
        return line;
    if (!call.In.empty() && call.In[0].Type == DeviceCallItem::Kind::Bytes)
        call.In[0] = DeviceCallItem::HiddenOf(call.In[0].Bytes, 0);
    if (!call.Out.empty() && call.Out[0].Type == DeviceCallItem::Kind::Bytes)
        call.Out[0] = HiddenAnswer(call.Out[0]);
    return line.substr(0, at) + DeviceCallPrefix + DeviceCallText::Format(call);
}

bool SupportReport::Write(const std::string& name, const std::string& bytes) {
    const std::wstring path = folder_ + L"\\" + WideFromUtf8(name);
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    const bool ok = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && std::fclose(file) != 0) failed_ = true;
    if (ok) written_.push_back(name);
    failed_ = failed_ || !ok;
    return ok;
}

bool SupportReport::CopyBeside(const std::wstring& from) {
    std::string bytes;
    if (!ReadWholeFile(from, &bytes)) return false;
    const size_t slash = from.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? from : from.substr(slash + 1);
    return Write("settings\\" + Utf8FromWide(name.c_str()), bytes);
}

int SupportReport::Run() {
    wchar_t full[4096];
    const std::wstring asked = WideFromUtf8(options_.ReportDir);
    const DWORD length = GetFullPathNameW(asked.c_str(), 4096, full, nullptr);
    folder_ = length > 0 && length < 4096 ? std::wstring(full, length) : asked;
    if (!MakeFolders(folder_) || !MakeFolders(folder_ + L"\\settings")) {
        std::fprintf(stderr, "bonhost: cannot create the folder %s\n", options_.ReportDir.c_str());
        return ExitOutputFailed;
    }
    DebugOutputCapture capture;
    BonhostSelfTest selfTest(options_);
    std::printf("bonhost selftest: %s, report folder %s\n", Utf8FromWide(selfTest.DllPath().c_str()).c_str(),
                options_.ReportDir.c_str());
    const SelfTestReport& report = selfTest.Run(true);
    std::string streamNote;
    const std::string stream = RecordStream(selfTest, options_.ReportSeconds, &streamNote);
    const std::string scan = options_.ReportScan ? ScanJson(selfTest, DefaultDwellMs) : std::string();
    const std::wstring channelFile =
        selfTest.Loaded() ? ChannelFileLoader::PathBeside(selfTest.Module().Module()) : std::wstring();
    // The driver's threads end with the library, and with them its output.
    selfTest.Module().Unload();
    capture.Stop();

    std::string trace, calls;
    std::istringstream lines(capture.Text());
    size_t driverLines = 0;
    for (std::string line; std::getline(lines, line);) {
        line = PrivateLine(line, options_.IncludeCardData);
        trace += line + "\n";
        if (line.find(DriverTraceMark) != std::string::npos) ++driverLines;
        const size_t at = line.find(DeviceCallPrefix);
        if (at != std::string::npos) calls += line.substr(at + sizeof DeviceCallPrefix - 1) + "\n";
    }
    const bool traced = driverLines > 0;
    Write("trace.txt", trace);
    Write("device-calls.txt", calls);
    Write("tuners.txt", TunerListText());
    Write("stream.ts", stream);
    if (options_.ReportScan) Write("scan.json", scan);
    const bool ini = CopyBeside(selfTest.IniPath());
    const bool channels = !channelFile.empty() && CopyBeside(ChannelString(channelFile.c_str()));

    std::string text = selfTest.ReportText();
    text += "\ndate: " + Today() + "\n";
    text += traced ? "trace: yes, " + std::to_string(driverLines) + " lines of the driver's, " +
                         std::to_string(std::count(calls.begin(), calls.end(), '\n')) + " device calls\n"
                   : "trace: none came; put trace\\BonDriver_TesselBDA.dll from the package in place of\n"
                     "       the usual DLL for the report (and back afterwards)\n";
    if (capture.Dropped() != 0) text += "trace: " + std::to_string(capture.Dropped()) + " texts did not fit\n";
    text += options_.IncludeCardData ? "card data: kept as sent and answered (--include-card-data)\n"
                                     : "card data: left out (their length, a digest and the status word only)\n";
    text += streamNote + "\n";
    text += std::string("settings: ") + (ini ? "the INI" : "no INI found") + ", " +
            (channels ? "the channel file" : "no channel file") + " (in settings\\)\n";
    Write("report.txt", text);
    std::printf(failed_ ? "cannot write every file of the folder %s\n" : "report folder written: %s\n",
                options_.ReportDir.c_str());
    return failed_ ? ExitOutputFailed : report.Failed();
}
