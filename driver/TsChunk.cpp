#include "driver/TsChunk.h"

void FreeTsChunk(TsChunk* chunk) {
    if (chunk == nullptr) return;
    delete[] chunk->Data;
    delete chunk;
}
