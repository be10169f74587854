// Hosts as they really run: several tuners in one process through renamed
// copies of the DLL, each with its own INI; a reception thread that keeps
// waiting and reading while another thread changes channel, purges, closes,
// reopens and releases.
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "channels/ChannelPlan.h"
#include "sim/SimChannel.h"
#include "tests/windows/DriverHarness.h"

namespace {

constexpr DWORD ChunkBytes = 192512;

// The transport_stream_id of every PAT in a chunk.
std::set<uint16_t> PatTsids(const BYTE* data, DWORD size) {
    std::set<uint16_t> tsids;
    for (DWORD at = 0; at + 188 <= size; at += 188) {
        const BYTE* packet = data + at;
        const bool patStart = packet[0] == 0x47 && (packet[1] & 0x40) != 0 &&
                              (((packet[1] & 0x1F) << 8) | packet[2]) == 0;
        if (!patStart || (packet[3] & 0x10) == 0) continue;
        const unsigned section = 5u + packet[4];
        if (section + 5 > 188) continue;
        tsids.insert(static_cast<uint16_t>((packet[section + 3] << 8) | packet[section + 4]));
    }
    return tsids;
}

uint16_t UhfTsid(DWORD channel) {
    return TerrestrialTsid(LookupChannel(Network::IsdbT, 0, channel)->Frequency);
}

// Reads `chunks` chunks and collects the TSIDs they carry.
bool ReadChunks(IBonDriver2* driver, int chunks, std::set<uint16_t>* tsids) {
    for (int got = 0, rounds = 0; got < chunks && rounds < 400; ++rounds) {
        driver->WaitTsStream(100);
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        while (got < chunks && driver->GetTsStream(&data, &size, &remaining)) {
            const std::set<uint16_t> found = PatTsids(data, size);
            tsids->insert(found.begin(), found.end());
            ++got;
        }
        if (got >= chunks) return true;
    }
    return false;
}

using HostPatterns = DriverHarness;

}  // namespace

// A recorder keeps two tuners open in one process: two renamed copies of the
// DLL, each reading its own INI and selecting its own tuner. Both stream at
// once on two reader threads, each only its own channel; releasing one leaves
// the other streaming.
TEST_F(HostPatterns, TwoRenamedCopiesStreamTheirOwnTunersSideBySide) {
    RegisterTuners(2, DefaultName);
    struct Copy {
        std::wstring Base;
        HMODULE Module = nullptr;
        IBonDriver2* Driver = nullptr;
        DWORD Channel = 0;
    } copies[2] = {{L"BonDriver_TesselBDA_0", nullptr, nullptr, 0},
                   {L"BonDriver_TesselBDA_1", nullptr, nullptr, 7}};
    for (size_t i = 0; i < 2; ++i) {
        WriteIni("ISDBT", "Tessel Sim ISDB Tuner", DeviceIdOf(i), copies[i].Base);
        copies[i].Driver = LoadDriver(copies[i].Base);
        copies[i].Module = module_;  // the harness keeps one; these are ours
        module_ = nullptr;
        driver_ = nullptr;
        ASSERT_NE(copies[i].Driver, nullptr);
        ASSERT_TRUE(copies[i].Driver->OpenTuner());
        ASSERT_TRUE(copies[i].Driver->SetChannel(0u, copies[i].Channel));
    }
    EXPECT_NE(copies[0].Module, copies[1].Module);
    EXPECT_EQ(Alive(SimObject::TunerFilter), 2);
    std::set<uint16_t> seen[2];
    bool read[2] = {false, false};
    std::thread readers[2];
    for (int i = 0; i < 2; ++i)
        readers[i] = std::thread([&, i] { read[i] = ReadChunks(copies[i].Driver, 8, &seen[i]); });
    for (auto& reader : readers) reader.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(read[i]) << "copy " << i;
        EXPECT_EQ(seen[i], std::set<uint16_t>{UhfTsid(copies[i].Channel)}) << "copy " << i;
    }
    copies[0].Driver->Release();
    FreeLibrary(copies[0].Module);
    std::set<uint16_t> after;
    EXPECT_TRUE(copies[1].Driver->IsTunerOpening());
    EXPECT_TRUE(ReadChunks(copies[1].Driver, 4, &after));
    EXPECT_EQ(after, std::set<uint16_t>{UhfTsid(copies[1].Channel)});
    copies[1].Driver->Release();
    FreeLibrary(copies[1].Module);
    EXPECT_EQ(Alive(SimObject::TunerFilter), 0);
}

// A viewer's reception thread loops on WaitTsStream and GetTsStream while the
// window thread changes channel and purges, closes and reopens, and finally
// releases the driver while the reader sits in a wait without limit. No
// crash, no hang, and once a purge has returned no chunk of the channel
// before it arrives.
TEST_F(HostPatterns, ReaderKeepsReadingWhileAnotherThreadRetunesClosesAndReleases) {
    IBonDriver2* driver = OpenDefault();
    ASSERT_NE(driver, nullptr);
    std::atomic<uint32_t> epoch{0};       // bumped after each purge returned
    std::atomic<uint16_t> expected{0};    // the TSID since the last purge
    std::atomic<bool> lastWait{false};
    std::atomic<DWORD> lastResult{0xDEAD};
    std::atomic<int> stale{0}, chunks{0};
    std::thread reader([&] {
        while (!lastWait) {
            if (driver->WaitTsStream(50) == WAIT_ABANDONED) Sleep(5);
            for (;;) {
                const uint32_t before = epoch;
                const uint16_t tsid = expected;
                BYTE* data = nullptr;
                DWORD size = 0, remaining = 0;
                if (!driver->GetTsStream(&data, &size, &remaining)) break;
                ++chunks;
                const std::set<uint16_t> found = PatTsids(data, size);
                if (before == epoch && tsid != 0 &&
                    (found.size() != 1 || *found.begin() != tsid))
                    ++stale;
            }
        }
        lastResult = driver->WaitTsStream(0);
    });
    for (int cycle = 0; cycle < 12; ++cycle) {
        const DWORD channel = static_cast<DWORD>(cycle % 5);
        if (cycle % 4 == 3) {
            expected = 0;
            driver->CloseTuner();
            ASSERT_TRUE(driver->OpenTuner()) << "cycle " << cycle;
        }
        expected = 0;
        ASSERT_TRUE(driver->SetChannel(0u, channel)) << "cycle " << cycle;
        driver->PurgeTsStream();
        expected = UhfTsid(channel);
        ++epoch;
        Sleep(400);  // a few chunks at the simulator's default rate
    }
    EXPECT_GT(chunks.load(), 12);
    EXPECT_EQ(stale.load(), 0) << "chunks of the old channel arrived after the purge";
    Device()->SetSampleSizes({187});  // nothing more is queued
    lastWait = true;
    Sleep(300);  // the reader sits in its last wait, without limit
    driver_->Release();
    driver_ = nullptr;
    if (!WaitUntil([&] { return lastResult.load() != 0xDEADu; }, 5000)) {
        reader.detach();
        FAIL() << "the reader still waits after Release";
    }
    reader.join();
    EXPECT_EQ(lastResult.load(), DWORD{WAIT_ABANDONED});
}
