// Feeds arbitrary bytes to the TS checker, cut into chunks whose sizes come
// from the input itself, so packet assembly across calls is exercised too.
#include <cstddef>
#include <cstdint>

#include "ts/TsStreamChecker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TsStreamChecker checker;
    size_t at = 0;
    while (at < size) {
        const size_t chunk = 1 + (data[at] % 200);
        const size_t take = chunk < size - at ? chunk : size - at;
        checker.Feed(data + at, take);
        at += take;
    }
    checker.Clean();
    checker.Pids();
    return 0;
}
