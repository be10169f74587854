#include "tools/bonhost/BonhostScanner.h"

#include <atomic>
#include <cstdio>

#include "channels/ChannelFileLoader.h"
#include "channels/ChannelFileWriter.h"
#include "tools/bonhost/BonhostChannelFile.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostMirakurun.h"
#include "tools/bonhost/BonhostText.h"
#include "tools/bonhost/DriverPlan.h"
#include "tools/bonhost/ScanChannels.h"
#include "tools/bonhost/StreamReader.h"
#include "ts/TsServiceScanner.h"

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    interrupted = true;
    return TRUE;  // the scan stops by itself and still writes its results
}

// Holds the Ctrl-C handler for the life of a scan.
class InterruptWatch {
public:
    InterruptWatch() {
        interrupted = false;
        SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    }
    ~InterruptWatch() { SetConsoleCtrlHandler(&OnConsoleControl, FALSE); }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
};

// Enough to stop before the dwell: PAT and SDT in, the rate measured.
constexpr uint64_t MinimumChunks = 3;
constexpr double MinimumMeasuredMs = 250;

void Fill(const TsServiceScanner& scanner, ScanRow* row) {
    row->HasTsid = scanner.HasPat();
    row->Tsid = scanner.TransportStreamId();
    if (scanner.HasNetworkName()) row->NetworkName = scanner.NetworkName().Text;
    for (const TsScannedService& service : scanner.Services()) {
        if (!service.HasDescriptor) continue;
        row->Services.push_back(service.Name.Text);
        row->ServiceDetails.push_back({service.ServiceId, service.ServiceType});
    }
}

void PrintProgress(size_t done, size_t total, const ScanRow& row) {
    std::printf("\r[%3zu/%zu] %-6s %-9s signal %6.2f  %-9s", done, total, row.SpaceName.c_str(),
                row.ChannelName.c_str(), row.Signal, row.Locked ? "TS" : "no TS");
    std::fflush(stdout);
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* out = _wfopen(WideFromUtf8(path).c_str(), L"wb");
    bool ok = out != nullptr && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (out != nullptr && std::fclose(out) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "bonhost: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

bool BonhostScanner::Interrupted() { return interrupted; }

ScanRow BonhostScanner::ScanChannel(DWORD space, DWORD channel, DWORD dwellMs) {
    ScanRow row;
    row.Space = space;
    row.SpaceName = DriverPlan::SpaceName(driver_, space);
    row.Channel = channel;
    row.ChannelName = DriverPlan::ChannelName(driver_, space, channel);
    row.Tuned = driver_->SetChannel(space, channel) != FALSE;
    driver_->PurgeTsStream();
    TsServiceScanner scanner;
    StreamReader reader(driver_);
    if (row.Tuned) {
        reader.Read(
            dwellMs, [&](const BYTE* data, DWORD size) { scanner.Feed(data, size); },
            [&] {
                return interrupted || (scanner.HasPat() && scanner.HasSdt() &&
                                       reader.Chunks() >= MinimumChunks &&
                                       reader.MeasuredMs() >= MinimumMeasuredMs);
            });
    }
    row.Signal = driver_->GetSignalLevel();
    row.Locked = reader.Bytes() > 0;
    row.Mbps = reader.Mbps();
    Fill(scanner, &row);
    return row;
}

std::vector<ScanRow> BonhostScanner::Scan(const std::vector<DWORD>& spaces, DWORD dwellMs,
                                          bool progress) {
    size_t total = 0;
    for (DWORD space : spaces) total += DriverPlan::ChannelCount(driver_, space);
    std::vector<ScanRow> rows;
    for (DWORD space : spaces) {
        const DWORD count = DriverPlan::ChannelCount(driver_, space);
        for (DWORD channel = 0; channel < count && !interrupted; ++channel) {
            rows.push_back(ScanChannel(space, channel, dwellMs));
            if (progress) PrintProgress(rows.size(), total, rows.back());
        }
    }
    if (progress) std::printf("\n");
    return rows;
}

bool BonhostScanner::SpacesToScan(const std::string& spaceText, std::vector<DWORD>* spaces) const {
    if (!spaceText.empty()) {
        DWORD space = 0;
        if (!DriverPlan::FindSpace(driver_, spaceText, &space)) return false;
        spaces->push_back(space);
        return true;
    }
    for (DWORD space = 0; space < DriverPlan::SpaceCount(driver_); ++space) spaces->push_back(space);
    return true;
}

int BonhostScanner::Run(const BonhostOptions& options) {
    std::vector<DWORD> spaces;
    if (!SpacesToScan(options.Space, &spaces)) {
        std::fprintf(stderr, "bonhost: unknown tuning space: %s\n", options.Space.c_str());
        return ExitUnknownChannel;
    }
    if (!driver_->OpenTuner()) {
        std::fprintf(stderr, "bonhost: open failed (is the tuner named in the INI present?)\n");
        return ExitOpenFailed;
    }
    InterruptWatch watch;
    std::printf("scanning with a dwell of %lu ms per channel; Ctrl-C stops and keeps what was found\n",
                static_cast<unsigned long>(options.DwellMs));
    const std::vector<ScanRow> rows = Scan(spaces, options.DwellMs, true);
    driver_->CloseTuner();
    if (interrupted) std::printf("scan interrupted after %zu channels\n", rows.size());
    const int written = WriteOutputs(rows, options);
    if (written != ExitOk) return written;
    return interrupted ? ExitInterrupted : ExitOk;
}

int BonhostScanner::WriteChannelFile(const std::vector<ScanRow>& rows,
                                     const std::string& path) const {
    std::vector<std::string> notes;
    const ChannelList locked = ScanChannels::Locked(rows, ChannelListOfLibrary(module_), &notes);
    for (const std::string& note : notes) std::fprintf(stderr, "bonhost: %s\n", note.c_str());
    if (locked.TotalChannels() == 0) {
        std::fprintf(stderr, "bonhost: no channel locked, so %s was not written\n", path.c_str());
        return ExitOutputFailed;
    }
    if (!WriteFile(path, ChannelFileWriter::Write(locked))) return ExitOutputFailed;
    const std::string beside = Utf8Of(ChannelFileLoader::PathBeside(module_));
    std::printf("wrote %s (%lu channels that locked); the driver reads it as %s\n", path.c_str(),
                static_cast<unsigned long>(locked.TotalChannels()), beside.c_str());
    return ExitOk;
}

int BonhostScanner::WriteOutputs(const std::vector<ScanRow>& rows,
                                 const BonhostOptions& options) const {
    std::printf("%s", ScanReport::Table(rows).c_str());
    int code = ExitOk;
    if (!options.Json.empty()) {
        if (WriteFile(options.Json, ScanReport::Json(rows)))
            std::printf("wrote %s\n", options.Json.c_str());
        else
            code = ExitOutputFailed;
    }
    if (!options.WriteChannels.empty()) {
        const int written = WriteChannelFile(rows, options.WriteChannels);
        if (written != ExitOk) code = written;
    }
    if (!options.WriteMirakurun.empty()) {
        const int written = BonhostMirakurun::WriteChannels(rows, options.WriteMirakurun);
        if (written != ExitOk) code = written;
    }
    return code;
}
