// `bonhost scan --write-mirakurun FILE`: the scan's channels as Mirakurun's
// channels.yml (MirakurunChannelFile), written whole or not at all, with
// the locked channels it had to leave out listed on stderr.
#pragma once

#include <string>
#include <vector>

#include "tools/bonhost/ScanReport.h"

class BonhostMirakurun {
public:
    // Writes the file of `rows` to `path`; returns an exit code: ExitOk, or
    // ExitOutputFailed when nothing could go in it or the write failed
    // (then `path` is untouched).
    static int WriteChannels(const std::vector<ScanRow>& rows, const std::string& path);
};
