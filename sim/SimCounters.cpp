#include "sim/SimCounters.h"

size_t SimCounters::Index(SimObject kind) {
    const size_t index = static_cast<size_t>(kind);
    return index < static_cast<size_t>(SimObject::Count) ? index : 0;
}

void SimCounters::Created(SimObject kind) {
    if (kind < SimObject::Count) created_[Index(kind)].fetch_add(1);
}

void SimCounters::Destroyed(SimObject kind) {
    if (kind < SimObject::Count) destroyed_[Index(kind)].fetch_add(1);
}

int64_t SimCounters::Creations(SimObject kind) const {
    return kind < SimObject::Count ? created_[Index(kind)].load() : 0;
}

int64_t SimCounters::Destructions(SimObject kind) const {
    return kind < SimObject::Count ? destroyed_[Index(kind)].load() : 0;
}

int64_t SimCounters::Alive(SimObject kind) const { return Creations(kind) - Destructions(kind); }

void SimCounters::Clear() {
    for (auto& count : created_) count.store(0);
    for (auto& count : destroyed_) count.store(0);
}
