#include "tools/bonhost/BonhostExtras.h"

#include <winscard.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/TesselExports.h"
#include "tools/bonhost/BonhostExitCode.h"
#include "tools/bonhost/BonhostRecorder.h"
#include "tools/bonhost/LibraryCard.h"
#include "tools/bonhost/LibraryExport.h"

namespace {

// The export `name` of `module` with the type of `Function`, or null (with
// a message) when the library lacks it.
template <class Function>
Function Find(HMODULE module, const char* name) {
    Function found = LibraryExport<Function>(module, name);
    if (found == nullptr) std::fprintf(stderr, "bonhost: the driver has no %s\n", name);
    return found;
}

bool Open(IBonDriver2* driver) {
    if (driver->OpenTuner()) return true;
    std::fprintf(stderr, "bonhost: open failed (is the tuner named in the INI present?)\n");
    return false;
}

std::string PidText(const std::vector<uint16_t>& pids) {
    std::string text;
    char item[16];
    for (uint16_t pid : pids) {
        std::snprintf(item, sizeof item, "%s0x%04X", text.empty() ? "" : ",", pid);
        text += item;
    }
    return text;
}

void PrintHex(const char* label, const BYTE* bytes, DWORD length) {
    std::printf("%s (%lu bytes):", label, static_cast<unsigned long>(length));
    for (DWORD i = 0; i < length; ++i) std::printf(" %02X", bytes[i]);
    std::printf("\n");
}

}  // namespace

int BonhostPid(HMODULE module, IBonDriver2* driver, const BonhostOptions& options) {
    auto enable = Find<decltype(&TesselBonDriver_EnableDisableHardwarePidFilter)>(
        module, "TesselBonDriver_EnableDisableHardwarePidFilter");
    auto add = Find<decltype(&TesselBonDriver_SetHardwarePidFilterAddPID)>(
        module, "TesselBonDriver_SetHardwarePidFilterAddPID");
    auto remove = Find<decltype(&TesselBonDriver_SetHardwarePidFilterRemovePID)>(
        module, "TesselBonDriver_SetHardwarePidFilterRemovePID");
    if (enable == nullptr || add == nullptr || remove == nullptr) return ExitExportRefused;
    std::vector<uint16_t> adds = options.AddPids, removes = options.RemovePids;
    BonhostRecorder recorder(driver);
    recorder.SetSteps(
        [&] {
            // Switching on passes a placeholder PID until the list below arrives.
            const bool on = enable(1) == 1;
            const bool added = on && add(static_cast<uint8_t>(adds.size()), adds.data()) == 1;
            std::printf("PID filter on, passing %s: %s\n", PidText(adds).c_str(),
                        added ? "ok" : "refused");
            return added;
        },
        removes.empty() ? std::function<void()>()
                        : std::function<void()>([&] {
                              const int32_t done =
                                  remove(static_cast<uint8_t>(removes.size()), removes.data());
                              std::printf("\nremoved %s: %s\n", PidText(removes).c_str(),
                                          done == 1 ? "ok" : "refused");
                          }));
    return recorder.Run(options);
}

int BonhostCard(HMODULE module, IBonDriver2* driver, const BonhostOptions& options) {
    LibraryCard card(module);
    if (!card.Present()) {
        std::fprintf(stderr, "bonhost: the driver has no smart-card functions\n");
        return ExitExportRefused;
    }
    if (!Open(driver)) return ExitOpenFailed;
    LONG result = card.Connect();
    BYTE answer[512];
    DWORD length = sizeof answer;
    if (result == SCARD_S_SUCCESS) {
        PrintHex("command", options.Apdu.data(), static_cast<DWORD>(options.Apdu.size()));
        result = card.Transmit(options.Apdu.data(), static_cast<DWORD>(options.Apdu.size()), answer,
                               &length);
    }
    card.Close();  // while the tuner is still open
    driver->CloseTuner();
    if (result != SCARD_S_SUCCESS) {
        std::fprintf(stderr, "bonhost: card refused: 0x%08lX\n",
                     static_cast<unsigned long>(result));
        return ExitExportRefused;
    }
    PrintHex("answer", answer, length);
    return ExitOk;
}

int BonhostKeys(HMODULE module, IBonDriver2* driver, const BonhostOptions& options) {
    auto read = Find<decltype(&TesselBonDriver_GetRemoteControlKey)>(
        module, "TesselBonDriver_GetRemoteControlKey");
    if (read == nullptr) return ExitExportRefused;
    if (!Open(driver)) return ExitOpenFailed;
    std::printf("watching the remote for %.1f s\n", options.Seconds);
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(options.Seconds * 1000.0);
    unsigned reports = 0;
    while (GetTickCount64() < end) {
        // The device writes the holders only when it has a report.
        uint32_t code = 0xFFFF;
        uint8_t key = 0xFF;
        if (read(&code, &key) == 1 && (code & 0xFFFF) != 0xFFFF) {
            std::printf("custom code 0x%04X key 0x%02X\n", static_cast<unsigned>(code & 0xFFFF),
                        key);
            std::fflush(stdout);
            ++reports;
        }
        Sleep(100);
    }
    driver->CloseTuner();
    std::printf("key reports: %u\n", reports);
    return ExitOk;
}

int BonhostLnb(HMODULE module, IBonDriver2* driver, const BonhostOptions& options) {
    auto set = Find<decltype(&TesselBonDriver_SetLNBPower)>(module, "TesselBonDriver_SetLNBPower");
    auto get = Find<decltype(&TesselBonDriver_GetLNBPower)>(module, "TesselBonDriver_GetLNBPower");
    auto check = Find<decltype(&TesselBonDriver_CheckLNBPowerCircuit)>(
        module, "TesselBonDriver_CheckLNBPowerCircuit");
    if (!set || !get || !check) return ExitExportRefused;
    if (!Open(driver)) return ExitOpenFailed;
    bool ok;
    if (options.LnbAction == "status") {
        const bool circuit = check(0) == 1;
        const bool query = get(0) == 1;
        std::printf("LNB supply circuit check: %s\n", circuit ? "passed" : "failed");
        std::printf("LNB power query: %s\n", query ? "answered" : "refused");
        ok = circuit && query;
    } else {
        const uint32_t on = options.LnbAction == "on" ? 1 : 0;
        ok = set(on) == 1;
        std::printf("LNB power %s: %s\n", on ? "on" : "off", ok ? "ok" : "refused");
    }
    driver->CloseTuner();
    return ok ? ExitOk : ExitExportRefused;
}
