// What the driver makes of its channel file, told to the user: a release
// build of the DLL has no traces, so bonhost reads the file beside the DLL
// with the driver's own loader and prints the verdict.
#pragma once

#include <windows.h>

#include <string>

#include "channels/ChannelList.h"

// "46 channels in 1 tuning space".
std::string PlanSize(const ChannelList& list);

// Prints which channel file the library `module` reads and whether it is in
// use; a refused file is printed prominently with its line and fault.
// Returns false only when a file is there and refused.
bool PrintChannelFileReport(HMODULE module);

// The channel list the library `module` serves: its channel file's when that
// is valid for the network of its INI, otherwise the built-in plan.
ChannelList ChannelListOfLibrary(HMODULE module);
