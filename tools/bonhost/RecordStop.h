// What ends a recording that has no end of its own, as a tuner server's
// tuner command: Ctrl+C or Ctrl+Break, the console closing (or logoff and
// shutdown) and, when asked for and stdin is a pipe, a line or the end of
// stdin (how Mirakurun on Windows stops its tuner commands). The recording
// loop polls Requested() between its short waits for TS, so it stops, closes
// the tuner and releases the driver well within a second.
//
// The console handler and the stdin reader run on threads of their own and
// touch only a process-wide atomic, which outlives them. A read of a pipe
// cannot be cancelled under Wine, so the stdin reader is left blocked in it
// when the recording ends for another reason; the process's exit ends it.
#pragma once

#include "platform/UniqueHandle.h"

enum class StopReason { None, Interrupt, ConsoleClosed, StdinLine, StdinEnded };

class RecordStop {
public:
    // Starts listening for Ctrl+C, Ctrl+Break and the console closing.
    RecordStop();
    // Stops listening to the console (a stdin reader stays, see above).
    ~RecordStop();
    RecordStop(const RecordStop&) = delete;
    RecordStop& operator=(const RecordStop&) = delete;

    // Also stops on a line or the end of stdin, when stdin is a pipe (not a
    // console, a file or NUL, which must not end a recording at once).
    // Returns whether it watches stdin.
    bool WatchStdin();

    StopReason Requested() const;
    // "Ctrl+C", "a line on stdin", ...
    static const char* Describe(StopReason reason);

private:
    UniqueHandle stdinReader_;
};
