// The extras of bonhost that reach the library's extension exports: the
// hardware PID filter during a recording, one smart-card command, the
// remote-control key reports and the LNB supply. The exports are found by
// name, as any program beside the host finds them.
#pragma once

#include <windows.h>

#include "platform/IBonDriver.h"
#include "tools/bonhost/BonhostOptions.h"

// Each returns the process exit code. `module` and `driver` stay the caller's.
int BonhostPid(HMODULE module, IBonDriver2* driver, const BonhostOptions& options);
int BonhostCard(HMODULE module, IBonDriver2* driver, const BonhostOptions& options);
int BonhostKeys(HMODULE module, IBonDriver2* driver, const BonhostOptions& options);
int BonhostLnb(HMODULE module, IBonDriver2* driver, const BonhostOptions& options);
