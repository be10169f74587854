// The channel plans the driver has served, kept while the library is loaded.
// A host may cache the names EnumTuningSpace and EnumChannelName hand out and
// read them after Release, even after a new CreateBonDriver; so a plan is
// never freed while the library stays loaded, and a plan equal to one kept
// already is served from that one, so that repeated creations do not grow
// memory. Callers hold DriverLock (or run at unload). Portable.
#pragma once

#include "channels/ChannelList.h"

class KeptChannelLists {
public:
    // The kept list equal to `list`, or `list` itself moved into the kept
    // ones. Never null: without memory to keep it, the built-in plan of the
    // list's network (static) is answered instead.
    static const ChannelList* Keep(ChannelList&& list);
    // How many are kept.
    static size_t Count();
    // Frees every kept list; only when no caller can reach a name any more.
    static void FreeAll();
};
