// Memory for TS chunk buffers. Large buffers come straight from the system's
// pages and go straight back when freed: a heap keeps the pages of freed
// blocks committed (Wine's always does), so a closed tuner would go on
// holding the memory of the chunks it once queued. Small buffers (tests use
// chunks of a few packets) come from the heap.
#pragma once

#include <cstddef>
#include <cstdint>

// Where a chunk queue's buffers come from. The queue hands every buffer back
// to the source that made it. A test hands in a source that runs dry, as a
// 32-bit process short of address space does.
class ChunkBufferSource {
public:
    // `bytes` of memory, or null when there is none.
    virtual uint8_t* Allocate(size_t bytes) noexcept = 0;
    // Gives back what Allocate(bytes) returned, with the same `bytes`; null is allowed.
    virtual void Free(uint8_t* data, size_t bytes) noexcept = 0;

protected:
    ~ChunkBufferSource() = default;
};

class ChunkMemory {
public:
    // From this size on, a buffer has pages of its own.
    static constexpr size_t PageBackedBytes = 64 * 1024;

    // `bytes` of memory, or null when there is none.
    static uint8_t* Allocate(size_t bytes) noexcept;
    // Gives back what Allocate(bytes) returned, with the same `bytes`; null is allowed.
    static void Free(uint8_t* data, size_t bytes) noexcept;
    // Allocate and Free as a source; static storage, never null.
    static ChunkBufferSource& System() noexcept;
};
