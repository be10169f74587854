#include "driver/TsChunk.h"

#include "platform/ChunkMemory.h"

void FreeTsChunk(TsChunk* chunk) {
    if (chunk == nullptr) return;
    ChunkMemory::Free(chunk->Data, chunk->Length);
    delete chunk;
}
