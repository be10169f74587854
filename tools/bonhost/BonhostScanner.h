// `bonhost scan`: opens the tuner once, tunes every channel of every tuning
// space (or of one) and reads what arrives within the dwell: the signal
// level, whether TS came and at what rate, and what its PAT, SDT and NIT
// say (TsServiceScanner). A channel ends early once its PAT and SDT are in
// and the rate has been measured over a few chunks, so the dwell is spent
// in full only where nothing (or too little) arrives.
//
// Ctrl-C ends the scan at the next read: the tuner is closed and what was
// found is still printed and written.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/IBonDriver.h"
#include "tools/bonhost/BonhostOptions.h"
#include "tools/bonhost/ScanReport.h"

class BonhostScanner {
public:
    explicit BonhostScanner(IBonDriver2* driver) : driver_(driver) {}

    // Runs the whole command; returns the process exit code.
    int Run(const BonhostOptions& options);

    // Scans the channels of `spaces` with the tuner already open; the rows
    // come in scan order. With `progress`, a line on the terminal follows it.
    std::vector<ScanRow> Scan(const std::vector<DWORD>& spaces, DWORD dwellMs, bool progress);

    // One channel: tune, purge what the previous one left, read.
    ScanRow ScanChannel(DWORD space, DWORD channel, DWORD dwellMs);

    // True once Ctrl-C (or Ctrl-Break) arrived during a Run.
    static bool Interrupted();

private:
    bool SpacesToScan(const std::string& spaceText, std::vector<DWORD>* spaces) const;
    // Everything a finished or interrupted scan leaves behind: the table and
    // the JSON file. A writer of further files made from the rows (such as
    // the channels that locked, as a channel file) joins here.
    int WriteOutputs(const std::vector<ScanRow>& rows, const BonhostOptions& options) const;

    IBonDriver2* driver_;
};
