// The self-test's checks on an open tuner, in the order they run: tune a
// channel that gives a signal, the stream's sanity over a few seconds, the
// hardware PID filter, the card reader, a remote-key read, the LNB supply
// (satellite only), and closing and reopening. Each check fills one
// CheckResult; later ones use what earlier ones found (the channel tuned,
// the PIDs of its stream) and are skipped without it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/IBonDriver.h"
#include "tools/bonhost/LibraryCard.h"
#include "tools/bonhost/SelfTestReport.h"

class TunerChecks {
public:
    // `module` and `driver` stay the caller's; the tuner is open.
    TunerChecks(HMODULE module, IBonDriver2* driver, bool satellite)
        : module_(module), driver_(driver), satellite_(satellite) {}

    // `space` and `channel` empty: the first of a few channels whose TS arrives.
    void Tune(const std::string& space, const std::string& channel, CheckResult* result);
    void Stream(CheckResult* result);
    void PidFilter(CheckResult* result);
    void CardReader(CheckResult* result);
    void RemoteKey(CheckResult* result);
    void Lnb(CheckResult* result);
    void Reopen(CheckResult* result);

    bool Tuned() const { return tuned_; }
    // The channel the check tuned, or the first it tried when none streamed;
    // false when it tried none.
    bool Channel(DWORD* space, DWORD* channel) const {
        *space = space_;
        *channel = channel_;
        return tried_;
    }
    bool Streamed() const { return !pids_.empty(); }
    // The card exchanges the card check made.
    const std::vector<CardExchange>& CardExchanges() const { return cardExchanges_; }

private:
    // Tunes and waits up to `ms` for the first chunk; its delay in *ms.
    bool TuneAndWait(DWORD space, DWORD channel, DWORD ms, double* waitedMs);
    bool TryChannels(DWORD space, DWORD first, DWORD count, std::string* tried);
    std::string ChannelText() const;
    // Whether a tuner of the open tuner's name is still in the system.
    bool TunerStillListed() const;
    // Packets per PID over `ms`, the first chunk after a purge left out.
    std::map<uint16_t, uint64_t> PacketsPerPid(DWORD ms);
    void JudgeFilter(uint16_t held, const std::vector<uint16_t>& told,
                     const std::map<uint16_t, uint64_t>& passed, CheckResult* result);

    HMODULE module_;
    IBonDriver2* driver_;
    bool satellite_;
    bool tuned_ = false;
    bool tried_ = false;
    DWORD space_ = 0, channel_ = 0;
    double firstChunkMs_ = 0;
    std::map<uint16_t, uint64_t> pids_;  // packets per PID in the stream check
    std::vector<CardExchange> cardExchanges_;
};
