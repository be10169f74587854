// PIDMap against a reference model over operation sequences decoded from the
// input: after every operation the slots, counts, map count and built filter
// list must agree with the model, and the invariants must hold.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "driver/PIDMap.h"
#include "tests/portable/PIDMapModel.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

using Model = PIDMapModel;

void CheckAgrees(const PIDMap& map, const Model& model) {
    PIDFilterMap filter;
    map.BuildFilterMap(&filter);
    if (!model.loaded) {
        Check(map.SlotCount(0) == model.zeroCount);
        Check(map.CurrentNumberOfPIDInFilterMap() == 0);
        return;
    }
    int used = 0;
    for (int slot = 0; slot < PidSlotCount; ++slot) {
        const uint16_t pid = map.SlotPid(slot);
        Check(pid == model.slots[slot]);
        if (pid == EmptyPid) {
            Check(map.SlotCount(slot) == 0);
            continue;
        }
        Check(map.SlotCount(slot) >= 1 && map.SlotCount(slot) == model.refs.at(pid));
        for (int other = 0; other < slot; ++other) Check(map.SlotPid(other) != pid);
        Check(filter.PIDs[used++] == pid);
    }
    for (int i = used; i < PidSlotCount; ++i) Check(filter.PIDs[i] == EmptyPid);
    Check(map.CurrentNumberOfPIDInFilterMap() == used);
    Check(filter.NumberOfPIDInFilterMap == used);
    Check(static_cast<int>(model.refs.size()) == used);
}

uint16_t NextPid(FuzzedDataProvider& input) {
    static const uint16_t special[] = {0, ResetPid, EmptyPid, PidFilterOnPid};
    const uint8_t choice = input.ConsumeIntegral<uint8_t>();
    if (choice < 16) return special[choice % 4];
    if (choice < 32) return input.ConsumeIntegral<uint16_t>();
    return static_cast<uint16_t>(0x100 + choice % 48);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    PIDMap map;
    Model model;
    while (input.remaining_bytes() > 0) {
        const uint8_t kind = input.ConsumeIntegral<uint8_t>() % 16;
        if (kind == 0) {
            map.Reset();
            model.Reset();
            CheckAgrees(map, model);
            continue;
        }
        std::vector<uint16_t> pids(input.ConsumeIntegralInRange<size_t>(0, 40));
        for (auto& pid : pids) pid = NextPid(input);
        const uint32_t count = static_cast<uint32_t>(pids.size());
        if (kind == 1) {
            Check(map.Add(count + 1, nullptr) == PIDMapChange::Failed);
            Check(map.Remove(count + 1, nullptr) == PIDMapChange::Failed);
        } else if (kind < 9) {
            Check(map.Add(count, pids.data()) == model.Add(pids));
        } else {
            Check(map.Remove(count, pids.data()) == model.Remove(pids));
        }
        CheckAgrees(map, model);
    }
    return 0;
}
