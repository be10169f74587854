#include "tools/bonhost/BonhostScanner.h"

#include <atomic>
#include <cstdio>

#include "channels/ChannelFileLoader.h"
#include "channels/ChannelFileWriter.h"
#include "platform/FileText.h"
#include "tools/bonhost/BonhostChannelFile.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostMirakurun.h"
#include "tools/bonhost/BonhostText.h"
#include "tools/bonhost/DriverPlan.h"
#include "tools/bonhost/NitChannels.h"
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
    row->Nit = scanner.Nit();
    row->NitCrcErrors = scanner.NitCrcErrors();
    row->NitSectionsCut = scanner.NitSectionsCut();
}

void PrintProgress(size_t done, size_t total, const ScanRow& row) {
    std::printf("\r[%3zu/%zu] %-6s %-9s signal %6.2f  %-9s", done, total, row.SpaceName.c_str(),
                row.ChannelName.c_str(), row.Signal, row.Locked ? "TS" : "no TS");
    std::fflush(stdout);
}

// Whole or not at all: a file the driver reads is never left half written.
bool WriteFile(const std::string& path, const std::string& text) {
    unsigned long error = 0;
    if (WriteWholeFile(WideFromUtf8(path), text, &error)) return true;
    std::fprintf(stderr, "bonhost: cannot write %s (error %lu); nothing was changed there\n", path.c_str(), error);
    return false;
}

}  // namespace

bool BonhostScanner::Interrupted() { return interrupted; }

ScanRow BonhostScanner::ScanChannel(DWORD space, DWORD channel, DWORD dwellMs, bool untilNit) {
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
                                       (!untilNit || scanner.Nit().Complete()) &&
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

std::vector<ScanRow> BonhostScanner::ScanByNit(const std::vector<DWORD>& spaces, DWORD dwellMs,
                                               NitChannels* nit) {
    size_t total = 0;
    for (DWORD space : spaces) total += DriverPlan::ChannelCount(driver_, space);
    std::vector<ScanRow> rows;
    size_t done = 0;
    for (DWORD space : spaces) {
        const DWORD count = DriverPlan::ChannelCount(driver_, space);
        for (DWORD channel = 0; channel < count && !interrupted; ++channel, ++done) {
            if (nit->Announced(space, channel)) continue;
            rows.push_back(ScanChannel(space, channel, dwellMs, true));
            nit->Take(rows.back());
            PrintProgress(done + 1, total, rows.back());
        }
    }
    std::printf("\n");
    for (const std::string& line : nit->Readings()) std::printf("%s\n", line.c_str());
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
    const ChannelList plan = ChannelListOfLibrary(module_);
    if (options.Nit && plan.GetNetwork() != Network::IsdbS) {
        std::fprintf(stderr, "bonhost: --nit reads the satellites' NIT: the INI needs NetworkName=ISDBS\n");
        return ExitUsage;
    }
    if (!driver_->OpenTuner()) {
        std::fprintf(stderr, "bonhost: open failed (is the tuner named in the INI present?)\n");
        return ExitOpenFailed;
    }
    InterruptWatch watch;
    std::printf("scanning with a dwell of %lu ms per channel; Ctrl-C stops and keeps what was found\n",
                static_cast<unsigned long>(options.DwellMs));
    NitChannels nit(plan);
    const std::vector<ScanRow> rows =
        options.Nit ? ScanByNit(spaces, options.DwellMs, &nit) : Scan(spaces, options.DwellMs, true);
    driver_->CloseTuner();
    if (interrupted) std::printf("scan interrupted after %zu channels\n", rows.size());
    const int written = WriteOutputs(rows, options, options.Nit ? &nit : nullptr);
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

int BonhostScanner::WriteNitChannelFile(const NitChannels& nit, const std::string& path) const {
    std::string text;
    ChannelList written;
    std::vector<std::string> notes;
    const bool composed = nit.Compose(&text, &written, &notes);
    for (const std::string& note : notes) std::fprintf(stderr, "bonhost: %s\n", note.c_str());
    if (!composed) {
        std::fprintf(stderr, "bonhost: %s was not written\n", path.c_str());
        return ExitOutputFailed;
    }
    if (!WriteFile(path, text)) return ExitOutputFailed;
    const std::string beside = Utf8Of(ChannelFileLoader::PathBeside(module_));
    std::printf("wrote %s (%s, from the satellites' NIT); the driver reads it as %s\n", path.c_str(),
                PlanSize(written).c_str(), beside.c_str());
    return ExitOk;
}

int BonhostScanner::WriteOutputs(const std::vector<ScanRow>& rows, const BonhostOptions& options,
                                 const NitChannels* nit) const {
    std::printf("%s", ScanReport::Table(rows).c_str());
    if (nit == nullptr) std::printf("%s", NitChannels::Comparison(rows, ChannelListOfLibrary(module_)).c_str());
    int code = ExitOk;
    if (!options.Json.empty()) {
        if (WriteFile(options.Json, ScanReport::Json(rows)))
            std::printf("wrote %s\n", options.Json.c_str());
        else
            code = ExitOutputFailed;
    }
    if (!options.WriteChannels.empty()) {
        const int written = nit != nullptr ? WriteNitChannelFile(*nit, options.WriteChannels)
                                           : WriteChannelFile(rows, options.WriteChannels);
        if (written != ExitOk) code = written;
    }
    if (!options.WriteMirakurun.empty()) {
        const int written = BonhostMirakurun::WriteChannels(rows, options.WriteMirakurun);
        if (written != ExitOk) code = written;
    }
    return code;
}
