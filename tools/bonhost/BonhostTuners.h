// `bonhost tuners`: the BDA network tuners of this system with the
// "DeviceID" that selects each, by the driver's own matching rules.
#pragma once

#include <string>
#include <vector>

// One tuner as the list shows it.
struct TunerListing {
    std::string Name;        // FriendlyName (UTF-8)
    std::string DevicePath;  // (UTF-8)
    int DeviceId = -1;       // the DeviceID that selects it; -1 when none can
};

// The tuners in enumeration order, or false when the system device
// enumerator is missing. Initialises COM for the call itself.
bool ListTuners(std::vector<TunerListing>* tuners);

// The INI lines that select `tuner`, or a note that none can.
std::string TunerIniLines(const TunerListing& tuner);

// Prints the list; returns the process exit code.
int BonhostTuners();
