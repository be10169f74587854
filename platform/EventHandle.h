// Owns one unnamed auto-reset event, created non-signalled.
#pragma once

#include "platform/UniqueHandle.h"

class EventHandle : public UniqueHandle {
public:
    // Creates a fresh event (closing any held one); false when creation failed.
    bool CreateAutoReset() {
        Adopt(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        return Get() != nullptr;
    }
};
