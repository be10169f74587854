#include "tools/bonhost/SupportReport.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "channels/ChannelFileLoader.h"
#include "platform/DeviceCallText.h"
#include "platform/FileText.h"
#include "platform/SystemRandom.h"
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
// Said in the debug output right after the recording's tune, so that the
// device call that tuned it can be named.
const char StreamTunedMark[] = "(bonhost) stream.ts: recording from the tune above";

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

std::string HexLine(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += byte;
    }
    return text;
}

// A card item that still carries its bytes, hidden; `answer` keeps the
// status word at the end of an answer's body.
DeviceCallItem Hidden(const DeviceCallItem& item, bool answer, const KeyedDigest* key) {
    if (item.Type != DeviceCallItem::Kind::Bytes) return item;
    const size_t kept = answer && item.Bytes.size() >= 4 ? 2 : 0;
    return DeviceCallItem::HiddenOf(item.Bytes.data(), item.Bytes.size(), kept, key);
}

}  // namespace

SupportReport::SupportReport(const BonhostOptions& options) : options_(options), key_(0, 0) {
    uint64_t halves[2];
    keyed_ = FillSystemRandom(halves, sizeof halves);
    key_ = KeyedDigest(halves[0], halves[1]);
}

std::string SupportReport::PrivateLine(const std::string& line, const KeyedDigest* key) {
    const size_t at = line.find(DeviceCallPrefix);
    if (at == std::string::npos) return line;
    DeviceCall call;
    const std::string text = line.substr(at + sizeof DeviceCallPrefix - 1);
    if (!DeviceCallText::Parse(text, &call) || call.Operation != "TransmitCardCommand") return line;
    if (!call.In.empty()) call.In[0] = Hidden(call.In[0], false, key);
    if (!call.Out.empty()) call.Out[0] = Hidden(call.Out[0], true, key);
    return line.substr(0, at) + DeviceCallPrefix + DeviceCallText::Format(call);
}

std::string SupportReport::CardDataText(const std::vector<CardExchange>& exchanges) {
    std::string text =
        "# The smart-card commands bonhost sent through the library's SCardTransmit during the\n"
        "# self-test, and the answers (--include-card-data). They identify the card.\n";
    for (size_t i = 0; i < exchanges.size(); ++i) {
        char status[16];
        std::snprintf(status, sizeof status, "0x%08lX", static_cast<unsigned long>(exchanges[i].Status));
        text += std::to_string(i + 1) + ". command " + HexLine(exchanges[i].Command) + "\n   status " +
                status + (exchanges[i].Status == SCARD_S_SUCCESS ? ", answer " + HexLine(exchanges[i].Answer)
                                                                  : std::string()) +
                "\n";
    }
    if (exchanges.empty()) text += "(none: the self-test sent no card command)\n";
    return text;
}

void SupportReport::Missing(const std::string& name, const std::string& why) {
    missing_.push_back(name + " (" + why + ")");
}

bool SupportReport::Write(const std::string& name, const std::string& bytes) {
    const std::wstring path = folder_ + L"\\" + WideFromUtf8(name);
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        Missing(name, std::string("cannot create it: ") + std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) Missing(name, std::string("cannot write it: ") + std::strerror(written ? errno : error));
    return written && closed;
}

bool SupportReport::CopyBeside(const std::wstring& from) {
    std::string bytes;
    if (!ReadWholeFile(from, &bytes)) return false;
    const size_t slash = from.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? from : from.substr(slash + 1);
    return Write("settings\\" + Utf8FromWide(name.c_str()), bytes);
}

// Each chunk goes to the file as it comes, so that a long report holds no
// stream in memory; a write that fails ends the recording and is said.
std::string SupportReport::RecordStream(BonhostSelfTest& selfTest) {
    const std::wstring path = folder_ + L"\\stream.ts";
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        Missing("stream.ts", std::string("cannot create it: ") + std::strerror(errno));
        return "stream.ts: not written";
    }
    DWORD space = 0, channel = 0;
    std::string note;
    uint64_t bytes = 0;
    bool writeFailed = false;
    IBonDriver2* driver = selfTest.Loaded() ? selfTest.Module().Driver() : nullptr;
    if (driver == nullptr || !selfTest.TunedChannel(&space, &channel)) {
        note = "no stream: the self-test tuned no channel";
    } else if (!driver->OpenTuner() || !driver->SetChannel(space, channel)) {
        note = "no stream: the tuner would not open or tune again";
        driver->CloseTuner();
    } else {
        OutputDebugStringA((std::string(StreamTunedMark) + "\n").c_str());
        // What came before the tune took effect is another stream: as hosts
        // do, purge once the new one flows, so the file holds one stream only.
        Sleep(300);
        driver->PurgeTsStream();
        StreamReader reader(driver);
        reader.Read(static_cast<DWORD>(options_.ReportSeconds * 1000), [&](const BYTE* data, DWORD size) {
            if (writeFailed) return;
            writeFailed = std::fwrite(data, 1, size, file) != size;
            if (!writeFailed) bytes += size;
        }, [&] { return writeFailed; });
        driver->CloseTuner();
        const wchar_t* name = driver->EnumChannelName(space, channel);
        note = "stream.ts: " + std::to_string(bytes) + " bytes of space " + std::to_string(space) +
               ", channel " + std::to_string(channel) +
               (name != nullptr ? " (" + Utf8FromWide(name) + ")" : "");
    }
    const int error = errno;
    if (std::fclose(file) != 0 && !writeFailed) writeFailed = true;
    if (writeFailed) {
        Missing("stream.ts", "a write failed after " + std::to_string(bytes) + " bytes: " + std::strerror(error));
        note += ", then a write failed";
    }
    return note;
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
    const std::string streamNote = RecordStream(selfTest);
    const std::string scan = options_.ReportScan ? ScanJson(selfTest, DefaultDwellMs) : std::string();
    const std::wstring channelFile =
        selfTest.Loaded() ? ChannelFileLoader::PathBeside(selfTest.Module().Module()) : std::wstring();
    // The driver's threads end with the library, and with them its output.
    selfTest.Module().Unload();
    capture.Stop();

    std::string trace, calls;
    std::istringstream lines(capture.Text());
    size_t driverLines = 0, callCount = 0, lastTuneLine = 0, streamTuneLine = 0;
    for (std::string line; std::getline(lines, line);) {
        line = PrivateLine(line, keyed_ ? &key_ : nullptr);
        trace += line + "\n";
        if (line.find(DriverTraceMark) != std::string::npos) ++driverLines;
        if (line.find(StreamTunedMark) != std::string::npos) streamTuneLine = lastTuneLine;
        const size_t at = line.find(DeviceCallPrefix);
        if (at == std::string::npos) continue;
        calls += line.substr(at + sizeof DeviceCallPrefix - 1) + "\n";
        ++callCount;
        if (line.find(" SetTuneRequest in=", at) != std::string::npos) lastTuneLine = callCount;
    }
    const bool traced = driverLines > 0;
    Write("trace.txt", trace);
    Write("device-calls.txt", calls);
    Write("tuners.txt", TunerListText());
    if (options_.ReportScan) Write("scan.json", scan);
    if (options_.IncludeCardData) Write("card-data.txt", CardDataText(selfTest.CardExchanges()));
    const bool ini = CopyBeside(selfTest.IniPath());
    const bool channels = !channelFile.empty() && CopyBeside(ChannelString(channelFile.c_str()));

    std::string text = selfTest.ReportText();
    text += "\ndate: " + Today() + "\n";
    text += traced ? "trace: yes, " + std::to_string(driverLines) + " lines of the driver's, " +
                         std::to_string(callCount) + " device calls\n"
                   : "trace: none came; put trace\\BonDriver_TesselBDA.dll from the package in place of\n"
                     "       the usual DLL for the report (and back afterwards)\n";
    if (capture.Dropped() != 0) text += "trace: " + std::to_string(capture.Dropped()) + " texts did not fit\n";
    text += options_.IncludeCardData
                ? "card data: in card-data.txt, as bonhost sent and received it (--include-card-data)\n"
                : "card data: left out (their length, a digest and the status word only)\n";
    text += streamNote + "\n";
    if (streamTuneLine != 0)
        text += "stream.ts tuned by: device-calls.txt line " + std::to_string(streamTuneLine) + "\n";
    text += std::string("settings: ") + (ini ? "the INI" : "no INI found") + ", " +
            (channels ? "the channel file" : "no channel file") + " (in settings\\)\n";
    for (const std::string& missing : missing_) text += "missing: " + missing + "\n";
    Write("report.txt", text);
    if (missing_.empty()) {
        std::printf("report folder written: %s\n", options_.ReportDir.c_str());
        return report.Failed();
    }
    std::printf("report folder %s written but for:\n", options_.ReportDir.c_str());
    for (const std::string& missing : missing_) std::printf("  %s\n", missing.c_str());
    return ExitOutputFailed;
}
