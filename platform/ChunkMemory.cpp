#include "platform/ChunkMemory.h"

#include <new>

#ifdef _WIN32
#include <windows.h>
#endif

uint8_t* ChunkMemory::Allocate(size_t bytes) noexcept {
#ifdef _WIN32
    if (bytes >= PageBackedBytes)
        return static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#endif
    return new (std::nothrow) uint8_t[bytes];
}

void ChunkMemory::Free(uint8_t* data, size_t bytes) noexcept {
    if (data == nullptr) return;
#ifdef _WIN32
    if (bytes >= PageBackedBytes) {
        VirtualFree(data, 0, MEM_RELEASE);
        return;
    }
#else
    (void)bytes;
#endif
    delete[] data;
}

namespace {

class SystemChunkMemory final : public ChunkBufferSource {
public:
    uint8_t* Allocate(size_t bytes) noexcept override { return ChunkMemory::Allocate(bytes); }
    void Free(uint8_t* data, size_t bytes) noexcept override { ChunkMemory::Free(data, bytes); }
};

// Trivially destructible, so it outlives every static destructor.
SystemChunkMemory systemChunkMemory;

}  // namespace

ChunkBufferSource& ChunkMemory::System() noexcept { return systemChunkMemory; }
