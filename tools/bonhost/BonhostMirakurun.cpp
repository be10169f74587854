#include "tools/bonhost/BonhostMirakurun.h"

#include <cstdio>

#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/MirakurunChannelFile.h"
#include "platform/FileText.h"
#include "tools/bonhost/BonhostText.h"

int BonhostMirakurun::WriteChannels(const std::vector<ScanRow>& rows, const std::string& path) {
    std::vector<std::string> leftOut;
    const std::string yaml = MirakurunChannelFile::Yaml(rows, &leftOut);
    for (const std::string& line : leftOut) std::fprintf(stderr, "bonhost: %s\n", line.c_str());
    if (yaml.empty()) {
        std::fprintf(stderr, "bonhost: no locked channel has a tuner-server name, so %s was not written\n",
                     path.c_str());
        return ExitOutputFailed;
    }
    // Whole or not at all: Mirakurun may read its channels.yml at any moment.
    unsigned long error = 0;
    if (!WriteWholeFile(WideFromUtf8(path), yaml, &error)) {
        std::fprintf(stderr, "bonhost: cannot write %s (error %lu); nothing was changed there\n",
                     path.c_str(), error);
        return ExitOutputFailed;
    }
    size_t entries = 0;
    for (size_t at = yaml.find("\n- "); at != std::string::npos; at = yaml.find("\n- ", at + 1)) ++entries;
    std::printf("wrote %s (%zu channels.yml entries for Mirakurun)\n", path.c_str(), entries);
    return ExitOk;
}
