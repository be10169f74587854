#include "tools/bonhost/BonhostRecorder.h"

#include <windows.h>

#include <algorithm>

#include "channels/TunerServerName.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostText.h"
#include "tools/bonhost/DriverPlan.h"

namespace {

// No chunk for this long (or for four chunks' time at the rate so far, when
// that is longer) is a stopped stream rather than a slow one.
constexpr uint64_t StopMs = 2000;

// A space or channel given by index, or else by name among the listed ones.
bool FindByIndexOrName(const std::string& text, DWORD count,
                       std::string (*nameOf)(IBonDriver2*, DWORD, DWORD), IBonDriver2* driver,
                       DWORD space, DWORD* found) {
    long long index = ParseIndex(text);
    if (index >= 0) {
        if (static_cast<unsigned long long>(index) >= count) return false;
        *found = static_cast<DWORD>(index);
        return true;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (SameNameIgnoringCase(nameOf(driver, space, i), text)) {
            *found = i;
            return true;
        }
    }
    return false;
}

std::string SpaceName(IBonDriver2* driver, DWORD, DWORD i) {
    return Utf8FromWide(driver->EnumTuningSpace(i));
}
std::string ChannelName(IBonDriver2* driver, DWORD space, DWORD i) {
    return Utf8FromWide(driver->EnumChannelName(space, i));
}

DWORD CountSpaces(IBonDriver2* driver) {
    DWORD n = 0;
    while (driver->EnumTuningSpace(n) != nullptr) ++n;
    return n;
}
DWORD CountChannels(IBonDriver2* driver, DWORD space) {
    DWORD n = 0;
    while (driver->EnumChannelName(space, n) != nullptr) ++n;
    return n;
}

}  // namespace

int BonhostInfo(IBonDriver2* driver) {
    std::printf("tuner: %s\n", Utf8FromWide(driver->GetTunerName()).c_str());
    DWORD spaces = CountSpaces(driver);
    if (spaces == 0) std::printf("no tuning spaces (check NetworkName in the INI)\n");
    for (DWORD s = 0; s < spaces; ++s) {
        DWORD channels = CountChannels(driver, s);
        std::printf("space %lu: %s (%lu channels)\n", static_cast<unsigned long>(s),
                    SpaceName(driver, 0, s).c_str(), static_cast<unsigned long>(channels));
        for (DWORD c = 0; c < channels; ++c)
            std::printf("  %lu: %s\n", static_cast<unsigned long>(c), ChannelName(driver, s, c).c_str());
    }
    return ExitOk;
}

bool BonhostRecorder::Resolve(const std::string& spaceText, const std::string& channelText,
                              DWORD* space, DWORD* channel, std::string* error) {
    if (!FindByIndexOrName(spaceText, CountSpaces(driver_), SpaceName, driver_, 0, space)) {
        *error = "unknown tuning space: " + spaceText;
        return false;
    }
    if (!FindByIndexOrName(channelText, CountChannels(driver_, *space), ChannelName, driver_,
                           *space, channel)) {
        *error = "unknown channel: " + channelText + " in space " + SpaceName(driver_, 0, *space);
        return false;
    }
    return true;
}

bool BonhostRecorder::ResolveServerName(const std::string& name, DWORD* space, DWORD* channel,
                                         std::string* error) {
    TunerServerChannel row;
    if (!TunerServerName::ToRow(name, &row)) {
        *error = "unknown channel: " + name +
                 " is no tuner server's channel name (13-62, C13-C63, BSnn_m, CSn); with --space S"
                 " it names a channel of S";
        return false;
    }
    const std::string stands = name + " stands for " + row.Space + " " + row.Channel;
    if (!DriverPlan::FindSpace(driver_, row.Space, space)) {
        *error = "unknown channel: " + stands + ", but the driver lists no tuning space " + row.Space +
                 " (see NetworkName in its INI)";
        return false;
    }
    if (!DriverPlan::FindChannel(driver_, *space, row.Channel, channel)) {
        *error = "unknown channel: " + stands + ", which the driver's channel list does not hold";
        return false;
    }
    return true;
}

int BonhostRecorder::Run(const BonhostOptions& options) {
    std::string error;
    // Stdout is taken before anything can print, so the stream stays clean.
    if (options.Out == "-") {
        if (!output_.Open(options.Out, &error)) {
            std::fprintf(stderr, "bonhost: %s\n", error.c_str());
            return ExitOutputFailed;
        }
        log_ = stderr;
        progress_ = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR;
    }
    DWORD space = 0, channel = 0;
    const bool resolved = options.Space.empty()
                              ? ResolveServerName(options.Channel, &space, &channel, &error)
                              : Resolve(options.Space, options.Channel, &space, &channel, &error);
    if (!resolved) {
        std::fprintf(stderr, "bonhost: %s\n", error.c_str());
        return ExitUnknownChannel;
    }
    if (!driver_->OpenTuner()) {
        std::fprintf(stderr, "bonhost: open failed (is the tuner named in the INI present?)\n");
        return ExitOpenFailed;
    }
    const int code = Record(options, space, channel);
    driver_->CloseTuner();
    return code;
}

int BonhostRecorder::Record(const BonhostOptions& options, DWORD space, DWORD channel) {
    const std::string where = SpaceName(driver_, 0, space) + " / " + ChannelName(driver_, space, channel);
    if (!driver_->SetChannel(space, channel)) {
        std::fprintf(stderr, "bonhost: tuning %s failed\n", where.c_str());
        return ExitTuneFailed;
    }
    if (afterTune_ && !afterTune_()) return ExitExportRefused;
    std::string error;
    if (!output_.IsOpen() && !output_.Open(options.Out, &error)) {
        std::fprintf(stderr, "bonhost: %s\n", error.c_str());
        return ExitOutputFailed;
    }
    const std::string target = output_.IsStdout() ? "stdout" : options.Out;
    if (options.Seconds > 0)
        std::fprintf(log_, "recording %s for %.1f s to %s\n", where.c_str(), options.Seconds, target.c_str());
    else
        std::fprintf(log_, "recording %s until stopped to %s\n", where.c_str(), target.c_str());
    if (options.Seconds <= 0) stop_.WatchStdin();
    if (halfway_) {
        Pump(options.Seconds / 2);
        if (!Stopping()) halfway_();
        Pump(options.Seconds / 2);
    } else {
        Pump(options.Seconds);
    }
    const StopReason reason = stop_.Requested();
    const bool readerGone = output_.IsStdout() && output_.Failed();
    const bool written = output_.Close();
    if (readerGone)
        std::fprintf(log_, "stopped: the reader of stdout went away\n");
    else if (reason != StopReason::None)
        std::fprintf(log_, "stopped: %s\n", RecordStop::Describe(reason));
    Summary();
    if (!written && !readerGone) {
        std::fprintf(stderr, "bonhost: writing %s failed\n", options.Out.c_str());
        return ExitOutputFailed;
    }
    return ExitOk;
}

void BonhostRecorder::Pump(double seconds) {
    const ULONGLONG start = GetTickCount64();
    if (startMs_ == 0) startMs_ = lastChunkMs_ = start;
    const bool untilStopped = seconds <= 0;
    const ULONGLONG end = start + static_cast<ULONGLONG>(seconds * 1000.0);
    ULONGLONG nextProgress = start + 500;
    for (ULONGLONG now = start; (untilStopped || now < end) && !Stopping(); now = GetTickCount64()) {
        const DWORD left = untilStopped ? 200 : static_cast<DWORD>(end - now);
        driver_->WaitTsStream(left < 200 ? left : 200);
        const uint64_t before = chunks_;
        Drain();
        WatchGap(GetTickCount64(), chunks_ != before);
        if (GetTickCount64() >= nextProgress) {
            Progress((GetTickCount64() - start) / 1000.0, false);
            nextProgress += 500;
        }
    }
    Progress((GetTickCount64() - start) / 1000.0, true);
}

void BonhostRecorder::Drain() {
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    while (!output_.Failed() && driver_->GetTsStream(&data, &size, &remaining)) {
        if (size != 0) {
            output_.Write(data, size);
            checker_.Feed(data, size);
            bytes_ += size;
            ++chunks_;
        }
        if (remaining == 0) break;
    }
}

void BonhostRecorder::WatchGap(uint64_t now, bool chunk) {
    const double seconds = (now - startMs_) / 1000.0;
    const uint64_t flowingMs = lastChunkMs_ - startMs_;
    const double bytesPerMs = flowingMs > 0 ? static_cast<double>(bytes_) / flowingMs : 0.0;
    if (!chunk) {
        const uint64_t chunkMs = bytesPerMs > 0 ? static_cast<uint64_t>(192512 / bytesPerMs) : 0;
        if (stopped_ || chunks_ == 0 || now - lastChunkMs_ < std::max<uint64_t>(StopMs, 4 * chunkMs))
            return;
        stopped_ = true;
        std::fprintf(log_, "\n%7.1f s  stream stopped: no TS since %.1f s\n",
                     seconds, (lastChunkMs_ - startMs_) / 1000.0);
        std::fflush(log_);
        return;
    }
    if (stopped_) {
        const double gapMs = static_cast<double>(now - lastChunkMs_);
        const double lost = gapMs * bytesPerMs;
        ++gaps_;
        lostBytes_ += lost;
        std::fprintf(log_, "\n%7.1f s  stream resumed after a gap of %.1f s, about %.0f bytes lost\n",
                     seconds, gapMs / 1000.0, lost);
        std::fflush(log_);
        stopped_ = false;
    }
    lastChunkMs_ = now;
}

void BonhostRecorder::Progress(double elapsed, bool last) {
    if (!progress_ && !last) return;
    double mbits = elapsed > 0 ? bytes_ * 8.0 / 1e6 / elapsed : 0.0;
    std::fprintf(log_, "%s%6.1f s  %12llu bytes  %7.2f Mbit/s  signal %6.2f   ", progress_ ? "\r" : "",
                 elapsed, static_cast<unsigned long long>(bytes_), mbits, driver_->GetSignalLevel());
    if (last) std::fprintf(log_, "\n");
    std::fflush(log_);
}

void BonhostRecorder::Summary() const {
    std::fprintf(log_, "bytes: %llu\n", static_cast<unsigned long long>(bytes_));
    std::fprintf(log_, "chunks: %llu\n", static_cast<unsigned long long>(chunks_));
    std::fprintf(log_, "TS packets: %llu\n", static_cast<unsigned long long>(checker_.Packets()));
    std::fprintf(log_, "sync losses: %llu\n", static_cast<unsigned long long>(checker_.SyncLosses()));
    std::fprintf(log_, "continuity-counter errors: %llu\n",
                 static_cast<unsigned long long>(checker_.CcErrors()));
    if (gaps_ != 0 || stopped_)
        std::fprintf(log_, "gaps: %u resumed%s, about %.0f bytes lost\n", gaps_,
                     stopped_ ? ", stopped at the end" : "", lostBytes_);
    for (uint16_t pid : checker_.Pids()) {
        const TsPidReport* report = checker_.Pid(pid);
        if (report == nullptr) continue;
        std::fprintf(log_, "  PID 0x%04X: %llu packets, %llu continuity-counter errors\n", pid,
                     static_cast<unsigned long long>(report->Packets),
                     static_cast<unsigned long long>(report->CcErrors));
    }
}
