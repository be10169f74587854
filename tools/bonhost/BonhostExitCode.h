// bonhost's process exit codes, one meaning each (the usage text lists them).
#pragma once

enum BonhostExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,
    ExitDriverNotFound = 2,
    ExitNoFactory = 3,
    ExitOpenFailed = 4,
    ExitUnknownChannel = 5,
    ExitTuneFailed = 6,
    ExitOutputFailed = 7,
    ExitExportRefused = 8,
    ExitNoDeviceEnumerator = 9,
};
