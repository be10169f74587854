// Arbitrary bytes as a recording to replay: preparing it never reads out of
// bounds, and a clip it accepts is whole packets with a PAT, which a loop
// then plays (filtered and not) across several wraps without a sync loss or
// a continuity break on the SDT and NIT it wrote itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ts/TsLoop.h"
#include "ts/TsReplayClip.h"
#include "ts/TsStreamChecker.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> recording(data, data + size);
    TsServiceInfo channel;
    channel.Tsid = 0x7FE8;
    channel.Name = "13ch";
    std::string error;
    auto clip = TsReplayClip::Prepare(recording, channel, &error);
    if (!clip) {
        Require(!error.empty());
        return 0;
    }
    Require(!clip->empty() && clip->size() % TsReplayClip::PacketSize == 0);
    TsLoop loop(clip);
    std::vector<uint8_t> stream(clip->size() * 3 + 77);
    Require(loop.Read(stream.data(), stream.size()) == stream.size());
    TsStreamChecker checker;
    checker.Feed(stream.data(), stream.size());
    Require(checker.SyncLosses() == 0 && checker.HasPat());
    for (uint16_t pid : {0x0010, 0x0011})
        if (const TsPidReport* report = checker.Pid(pid)) Require(report->CcErrors == 0);
    loop.SetPidFilter(true, {0x0000, static_cast<uint16_t>(size % 0x2000)});
    loop.Read(stream.data(), stream.size());
    return 0;
}
