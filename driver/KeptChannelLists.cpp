#include "driver/KeptChannelLists.h"

#include <memory>
#include <new>
#include <vector>

namespace {

using Lists = std::vector<std::unique_ptr<ChannelList>>;

// Made on first use and freed only by FreeAll: no static destructor may free
// names a host still reads while the process exits.
Lists* kept = nullptr;

// A built-in list points at static tables and allocates nothing, so one of
// each network serves when nothing can be kept. Made on demand in storage of
// their own and never destroyed (no guarded static: each would cost the
// runtime a kernel object per load that it never gives back).
constexpr int NetworkCount = 3;
alignas(ChannelList) unsigned char builtInStorage[NetworkCount][sizeof(ChannelList)];
const ChannelList* builtIn[NetworkCount] = {};

const ChannelList* StaticBuiltIn(Network network) {
    const int index = network == Network::IsdbT ? 1 : network == Network::IsdbS ? 2 : 0;
    if (builtIn[index] == nullptr)
        builtIn[index] = new (builtInStorage[index]) ChannelList(ChannelList::BuiltIn(network));
    return builtIn[index];
}

}  // namespace

const ChannelList* KeptChannelLists::Keep(ChannelList&& list) {
    try {
        if (kept == nullptr) kept = new Lists();
        for (const std::unique_ptr<ChannelList>& entry : *kept)
            if (*entry == list) return entry.get();
        kept->push_back(std::unique_ptr<ChannelList>(new ChannelList(std::move(list))));
        return kept->back().get();
    } catch (...) {
        return StaticBuiltIn(list.GetNetwork());
    }
}

size_t KeptChannelLists::Count() { return kept != nullptr ? kept->size() : 0; }

void KeptChannelLists::FreeAll() {
    delete kept;
    kept = nullptr;
}
