// ProcessCensus: what the current process holds at one moment, for tests and
// benchmarks that look for leaks: its open handles by object type, its
// threads and its private bytes. Handles are listed through
// NtQuerySystemInformation(SystemHandleInformation) and named through
// NtQueryObject(ObjectTypeInformation), which both Wines (32- and 64-bit)
// answer; the census's own snapshot handle is closed before the count.
// Private bytes are the commit charge (PagefileUsage), which is what Windows
// calls private bytes and which Wine fills where it leaves PrivateUsage 0;
// under Wine it counts only pages touched, so the bytes in use in the heaps
// are counted besides, block by block.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

struct ProcessFigures {
    std::map<std::string, long> HandlesByType;  // "Event", "Thread", ...
    long Handles = 0;                           // the sum of HandlesByType
    long Threads = 0;
    int64_t PrivateBytes = 0;  // signed: a growth may be negative
    int64_t HeapBytes = 0;     // in blocks in use, over every heap of the process
};

class ProcessCensus {
public:
    // Counts now. A field the system would not answer stays 0 (and Handles
    // at -1 when the handle list itself was refused).
    static ProcessFigures Take();

    // `later` minus `earlier`, type by type (types at 0 left out).
    static ProcessFigures Growth(const ProcessFigures& earlier, const ProcessFigures& later);

    // TLS slots the process holds, found by taking every free one and giving
    // them back: only while no other thread may be taking one.
    static long TlsSlotsInUse();

    // One line: "handles 123 (Event 40, Thread 7, ...), threads 9, private 12.3 MiB".
    static std::string Describe(const ProcessFigures& figures);

private:
    static void CountHandles(ProcessFigures* figures);
    static void CountThreads(ProcessFigures* figures);
    static void CountHeapBytes(ProcessFigures* figures);
    static std::string TypeOf(HANDLE handle);
};
