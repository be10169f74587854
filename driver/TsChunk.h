// One block of TS bytes. The chunk owns Data, Length bytes from ChunkMemory.
#pragma once

#include <cstdint>

struct TsChunk {
    uint8_t* Data;
    uint32_t Length;
};

// Frees the chunk's bytes and the record itself; null is allowed.
void FreeTsChunk(TsChunk* chunk);
