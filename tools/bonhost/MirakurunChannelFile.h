// The channels.yml that Mirakurun, the house's tuner server, reads: made
// from what `bonhost scan` found, in the form Mirakurun's own scan writes.
// Terrestrial and cable: one entry per locked channel, named after its first
// TV service, without serviceId (Mirakurun finds the services itself). BS
// and CS: one entry per TV service of each locked channel, with serviceId.
// Plain text work, kept apart from the Windows side so it is tested anywhere.
#pragma once

#include <string>
#include <vector>

#include "tools/bonhost/ScanReport.h"

class MirakurunChannelFile {
public:
    // The whole file for the locked rows of `rows`, in scan order; empty
    // when no entry came of them. Each locked row that gave no entry (no
    // tuner-server name, or a satellite stream without a TV service) is
    // named in a line of *leftOut.
    static std::string Yaml(const std::vector<ScanRow>& rows, std::vector<std::string>* leftOut);

    // Only these service types become entries, as in Mirakurun's own scan.
    static bool IsTvService(uint8_t serviceType) { return serviceType == 0x01 || serviceType == 0xAD; }
};
