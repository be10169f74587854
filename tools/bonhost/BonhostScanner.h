// `bonhost scan`: opens the tuner once, tunes every channel of every tuning
// space (or of one) and reads what arrives within the dwell: the signal
// level, whether TS came and at what rate, and what its PAT, SDT and NIT
// say (TsServiceScanner). A channel ends early once its PAT and SDT are in
// and the rate has been measured over a few chunks, so the dwell is spent
// in full only where nothing (or too little) arrives.
//
// Ctrl-C ends the scan at the next read: the tuner is closed and what was
// found is still printed and written.
//
// --write-channels saves the channels that locked as a channel file, with
// the frequencies and TSIDs of the plan the driver served, whole or not at
// all. With --nit (satellite) the scan reads the NIT actual of each network
// instead, tuning only rows that no NIT read so far announces, and the file
// holds what the NITs announce (NitChannels); a plain satellite scan ends
// by comparing the list with the NITs it read.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/IBonDriver.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/NitChannels.h"
#include "tools/bonhost/ScanReport.h"

class BonhostScanner {
public:
    // `module` is the library behind `driver`, whose channel list gives the
    // frequencies of --write-channels.
    BonhostScanner(IBonDriver2* driver, HMODULE module) : driver_(driver), module_(module) {}

    // Runs the whole command; returns the process exit code.
    int Run(const BonhostOptions& options);

    // Scans the channels of `spaces` with the tuner already open; the rows
    // come in scan order. With `progress`, a line on the terminal follows it.
    std::vector<ScanRow> Scan(const std::vector<DWORD>& spaces, DWORD dwellMs, bool progress);

    // One channel: tune, purge what the previous one left, read; with
    // `untilNit` the read also waits (within the dwell) for a whole NIT.
    ScanRow ScanChannel(DWORD space, DWORD channel, DWORD dwellMs, bool untilNit = false);

    // The --nit scan of `spaces`: the rows `nit` does not find announced yet,
    // each handed to it; prints what each NIT said.
    std::vector<ScanRow> ScanByNit(const std::vector<DWORD>& spaces, DWORD dwellMs, NitChannels* nit);

    // Writes the rows that locked to `path` in the channel file's syntax.
    // Nothing is written when none locked (a channel file lists at least
    // one channel); returns an exit code and says what it did.
    int WriteChannelFile(const std::vector<ScanRow>& rows, const std::string& path) const;
    // Writes the channel file `nit` composes to `path`, or, when it composes
    // none, nothing; the notes go to stderr. Returns an exit code.
    int WriteNitChannelFile(const NitChannels& nit, const std::string& path) const;

    // True once Ctrl-C (or Ctrl-Break) arrived during a Run.
    static bool Interrupted();

private:
    bool SpacesToScan(const std::string& spaceText, std::vector<DWORD>* spaces) const;
    // Everything a finished or interrupted scan leaves behind: the table and
    // the JSON file and the channel file (of `nit` after a --nit scan).
    int WriteOutputs(const std::vector<ScanRow>& rows, const BonhostOptions& options,
                     const NitChannels* nit) const;

    IBonDriver2* driver_;
    HMODULE module_;
};
