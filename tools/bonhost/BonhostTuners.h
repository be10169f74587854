// `bonhost tuners`: the BDA network tuners of this system with the
// "DeviceID" that selects each, by the driver's own matching rules.
#pragma once

// Prints the list; returns the process exit code.
int BonhostTuners();
