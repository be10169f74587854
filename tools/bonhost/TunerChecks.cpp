#include "tools/bonhost/TunerChecks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/TesselExports.h"
#include "tools/bonhost/BonhostText.h"
#include "tools/bonhost/BonhostTuners.h"
#include "tools/bonhost/DriverPlan.h"
#include "tools/bonhost/LibraryCard.h"
#include "tools/bonhost/LibraryExport.h"
#include "tools/bonhost/StreamReader.h"
#include "ts/TsPacketSync.h"
#include "ts/TsStreamChecker.h"

namespace {

constexpr DWORD ChannelsTried = 10;
constexpr DWORD TuneWaitMs = 1000;
constexpr DWORD StreamMs = 3000;
constexpr DWORD FilterMs = 1500;
constexpr DWORD ReopenWaitMs = 3000;
constexpr uint16_t NullPid = 0x1FFF;
constexpr size_t MaxFilterPids = 30;
// A harmless card command: the initial-settings query every broadcast card answers.
const BYTE CardQuery[] = {0x90, 0x30, 0x00, 0x00, 0x00};

std::string Format(const char* format, double a, double b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Hex16(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFF);
    return text;
}

// The PID to hold back: the smallest one that still carries at least 1 in
// 200 packets (so its absence is plain), never the null PID.
int PidToHoldBack(const std::map<uint16_t, uint64_t>& pids) {
    uint64_t total = 0;
    for (const auto& entry : pids) total += entry.second;
    int chosen = -1;
    uint64_t fewest = 0;
    for (const auto& entry : pids) {
        if (entry.first == NullPid || entry.second * 200 < total) continue;
        if (chosen < 0 || entry.second < fewest) {
            chosen = entry.first;
            fewest = entry.second;
        }
    }
    return chosen;
}

}  // namespace

std::string TunerChecks::ChannelText() const {
    return DriverPlan::ChannelName(driver_, space_, channel_) + " (" +
           DriverPlan::SpaceName(driver_, space_) + ")";
}

bool TunerChecks::TuneAndWait(DWORD space, DWORD channel, DWORD ms, double* waitedMs) {
    if (!driver_->SetChannel(space, channel)) return false;
    driver_->PurgeTsStream();
    const auto start = std::chrono::steady_clock::now();
    StreamReader reader(driver_);
    reader.Read(ms, nullptr, [&] { return reader.Bytes() > 0; });
    *waitedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return reader.Bytes() > 0;
}

bool TunerChecks::TryChannels(DWORD space, DWORD first, DWORD count, std::string* tried) {
    const DWORD last = DriverPlan::ChannelCount(driver_, space);
    // Until one streams, the channel meant is the first one tried.
    if (first < last) {
        tried_ = true;
        space_ = space;
        channel_ = first;
    }
    for (DWORD channel = first; channel < last && channel < first + count; ++channel) {
        *tried += (tried->empty() ? "" : ", ") + DriverPlan::ChannelName(driver_, space, channel);
        if (!TuneAndWait(space, channel, TuneWaitMs, &firstChunkMs_)) continue;
        tuned_ = true;
        space_ = space;
        channel_ = channel;
        return true;
    }
    return false;
}

void TunerChecks::Tune(const std::string& space, const std::string& channel, CheckResult* result) {
    std::string tried;
    if (!space.empty()) {
        DWORD s = 0, c = 0;
        if (!DriverPlan::FindSpace(driver_, space, &s) || !DriverPlan::FindChannel(driver_, s, channel, &c))
            return Judge(result, CheckVerdict::Fail, "no channel " + channel + " in space " + space,
                         "`bonhost info --driver PATH` lists the spaces and channels");
        TryChannels(s, c, 1, &tried);
    } else {
        TryChannels(0, 0, ChannelsTried, &tried);
    }
    if (!tuned_)
        return Judge(result, CheckVerdict::Fail, "no TS on " + tried,
                     "check the antenna cable and that NetworkName fits the antenna (ISDBT for\n"
                     "terrestrial and cable, ISDBS for a satellite dish); `bonhost scan` shows\n"
                     "which channels arrive; then --space S --channel C tests one of them");
    Judge(result, CheckVerdict::Pass,
          ChannelText() + Format(": signal %.2f, first TS after %.0f ms",
                                 driver_->GetSignalLevel(), firstChunkMs_));
}

bool TunerChecks::TunerStillListed() const {
    std::vector<TunerListing> tuners;
    if (!ListTuners(&tuners)) return true;  // cannot tell
    const std::string name = Utf8FromWide(driver_->GetTunerName());
    for (const TunerListing& tuner : tuners)
        if (tuner.Name == name) return true;
    return false;
}

void TunerChecks::Stream(CheckResult* result) {
    TsStreamChecker checker;
    StreamReader reader(driver_);
    uint64_t startLosses = 0;  // a purge may leave the first chunk starting inside a packet
    reader.Read(StreamMs, [&](const BYTE* data, DWORD size) {
        checker.Feed(data, size);
        if (reader.Chunks() == 1) startLosses = checker.SyncLosses();
    }, nullptr);
    for (uint16_t pid : checker.Pids()) pids_[pid] = checker.Pid(pid)->Packets;
    const uint64_t losses = checker.SyncLosses() - startLosses;
    const std::string seen = Format("%.1f s: %.2f Mbit/s, ", reader.MeasuredMs() / 1000.0, reader.Mbps()) +
                             (checker.HasPat() ? "PAT TSID " + Hex16(checker.PatTsid()) : "no PAT") +
                             ", " + std::to_string(losses) + " sync losses, " +
                             std::to_string(checker.CcErrors()) + " continuity errors";
    if (reader.Bytes() == 0 && !TunerStillListed())
        return Judge(result, CheckVerdict::Fail,
                     "no TS arrived within 3 s, and the tuner is gone from the system",
                     "the tuner was lost (unplugged, or reset by a USB hub that saves power): plug\n"
                     "it in again; with AutoRecover=1 the driver resumes the stream by itself");
    if (reader.Bytes() == 0)
        return Judge(result, CheckVerdict::Fail, "no TS arrived within 3 s",
                     "the channel locked, then the stream stopped: replug the tuner, try another USB port");
    if (losses > 0 || checker.CcErrors() > 0)
        return Judge(result, CheckVerdict::Fail, seen,
                     "packets were lost: a weak signal (see its level; check the antenna and its\n"
                     "cable) or a PC that falls behind (USB hub, power saving: use a port on the PC)");
    if (!checker.HasPat())
        return Judge(result, CheckVerdict::Fail, seen,
                     "the stream has no PAT, so no host can use it: check NetworkName");
    Judge(result, CheckVerdict::Pass, seen);
}

void TunerChecks::PidFilter(CheckResult* result) {
    auto enable = LibraryExport<decltype(&TesselBonDriver_EnableDisableHardwarePidFilter)>(
        module_, "TesselBonDriver_EnableDisableHardwarePidFilter");
    auto add = LibraryExport<decltype(&TesselBonDriver_SetHardwarePidFilterAddPID)>(
        module_, "TesselBonDriver_SetHardwarePidFilterAddPID");
    auto reset = LibraryExport<decltype(&TesselBonDriver_ResetHardwarePidFilter)>(
        module_, "TesselBonDriver_ResetHardwarePidFilter");
    const int held = PidToHoldBack(pids_);
    if (!enable || !add || !reset || held < 0)
        return Judge(result, CheckVerdict::Skip, "the stream has no PID to hold back");
    std::vector<uint16_t> told;
    for (const auto& entry : pids_)
        if (entry.first != held && entry.first != NullPid && told.size() < MaxFilterPids)
            told.push_back(entry.first);
    const bool on = enable(1) == 1 && add(static_cast<uint8_t>(told.size()), told.data()) == 1;
    const std::map<uint16_t, uint64_t> passed = on ? PacketsPerPid(FilterMs) : std::map<uint16_t, uint64_t>();
    reset();
    enable(0);
    if (!on)
        return Judge(result, CheckVerdict::Fail, "the driver refused to switch the PID filter on",
                     "the tuner's own driver may lack hardware PID filtering: update it\n"
                     "(hosts that do not use the filter still work)");
    JudgeFilter(static_cast<uint16_t>(held), told, passed, result);
}

std::map<uint16_t, uint64_t> TunerChecks::PacketsPerPid(DWORD ms) {
    driver_->PurgeTsStream();
    std::map<uint16_t, uint64_t> passed;
    TsPacketSync sync;
    StreamReader reader(driver_);
    reader.Read(ms, [&](const BYTE* data, DWORD size) {
        if (reader.Chunks() == 1) return;  // may hold packets sent before the filter
        sync.Feed(data, size, [&](const uint8_t* packet) {
            ++passed[static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2])];
        });
    }, nullptr);
    return passed;
}

void TunerChecks::JudgeFilter(uint16_t held, const std::vector<uint16_t>& told,
                              const std::map<uint16_t, uint64_t>& passed, CheckResult* result) {
    uint64_t total = 0, foreign = 0;
    for (const auto& entry : passed) {
        total += entry.second;
        const bool allowed = entry.first == NullPid ||
                             std::find(told.begin(), told.end(), entry.first) != told.end();
        if (!allowed) foreign += entry.second;
    }
    const std::string seen = "told to hold back PID " + Hex16(held) + ": " + std::to_string(total) +
                             " packets passed, " + std::to_string(foreign) + " of PIDs not told";
    if (total == 0)
        return Judge(result, CheckVerdict::Fail, seen + " (nothing arrived with the filter on)",
                     "the filter holds back everything: update the tuner's driver");
    if (foreign > 0)
        return Judge(result, CheckVerdict::Fail, seen,
                     "the hardware PID filter lets through PIDs it was not given: update the\n"
                     "tuner's driver, or leave the filter off in the host");
    Judge(result, CheckVerdict::Pass, seen);
}

void TunerChecks::CardReader(CheckResult* result) {
    LibraryCard card(module_);
    if (!card.Present()) return Judge(result, CheckVerdict::Skip, "the library has no card functions");
    LONG status = card.Connect();
    char refused[64];
    std::snprintf(refused, sizeof refused, "the card reader refused: 0x%08lX",
                  static_cast<unsigned long>(status));
    if (status != SCARD_S_SUCCESS)
        return Judge(result, CheckVerdict::Fail, refused, "replug the tuner; its card reader did not answer");
    BYTE answer[512];
    DWORD length = sizeof answer;
    status = card.Transmit(CardQuery, sizeof CardQuery, answer, &length);
    cardExchanges_ = card.Exchanges();
    if (status != SCARD_S_SUCCESS || length < 2)
        return Judge(result, CheckVerdict::Fail, "reader present, no answer from a card",
                     "insert the broadcast card (B-CAS or ACAS) the right way round; without\n"
                     "it, channels that need it stay dark (free channels still play)");
    char text[64];
    std::snprintf(text, sizeof text, "reader and card answer: %lu bytes, status %02X %02X",
                  static_cast<unsigned long>(length), answer[length - 2], answer[length - 1]);
    Judge(result, CheckVerdict::Pass, text);
}

void TunerChecks::RemoteKey(CheckResult* result) {
    auto read = LibraryExport<decltype(&TesselBonDriver_GetRemoteControlKey)>(
        module_, "TesselBonDriver_GetRemoteControlKey");
    if (read == nullptr) return Judge(result, CheckVerdict::Skip, "the library has no remote-key function");
    uint32_t code = 0xFFFF;
    uint8_t key = 0xFF;
    if (read(&code, &key) != 1)
        return Judge(result, CheckVerdict::Fail, "the tuner did not answer the remote-key query",
                     "replug the tuner; remote keys will not reach the host");
    if ((code & 0xFFFF) == 0xFFFF) return Judge(result, CheckVerdict::Pass, "answered (no key pressed)");
    Judge(result, CheckVerdict::Pass, "answered: custom code " + Hex16(code) + ", key " + Hex16(key));
}

void TunerChecks::Lnb(CheckResult* result) {
    if (!satellite_)
        return Judge(result, CheckVerdict::Skip, "terrestrial and cable tuners feed no LNB");
    auto check = LibraryExport<decltype(&TesselBonDriver_CheckLNBPowerCircuit)>(
        module_, "TesselBonDriver_CheckLNBPowerCircuit");
    if (check == nullptr) return Judge(result, CheckVerdict::Skip, "the library has no LNB function");
    if (check(0) != 1)
        return Judge(result, CheckVerdict::Fail, "the LNB supply circuit check failed",
                     "check the dish cable for a short circuit and its connectors for water");
    Judge(result, CheckVerdict::Pass, "the LNB supply circuit check passed");
}

void TunerChecks::Reopen(CheckResult* result) {
    driver_->CloseTuner();
    if (!driver_->OpenTuner())
        return Judge(result, CheckVerdict::Fail, "closed, but opening again failed",
                     "the tuner does not come back after a close, as hosts do when switching\n"
                     "channels or tuners: replug it, update its driver");
    double waited = 0;
    const bool again = tuned_ && TuneAndWait(space_, channel_, ReopenWaitMs, &waited);
    driver_->CloseTuner();
    if (tuned_ && !again)
        return Judge(result, CheckVerdict::Fail, "reopened, but no TS on " + ChannelText(),
                     "the tuner opens but does not stream after a reopen: replug it");
    Judge(result, CheckVerdict::Pass,
          tuned_ ? "closed, reopened, " + ChannelText() + Format(" streams again after %.0f ms", waited)
                 : std::string("closed and reopened"));
}
