// bonhost's process exit codes, one meaning each (the usage text lists them).
// `bonhost selftest` is the exception by design: its exit code is the number
// of checks that failed, so 0 still means that all is well.
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
    ExitInterrupted = 10,  // Ctrl-C ended a scan; what it found was still written
};
