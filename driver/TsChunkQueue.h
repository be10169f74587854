// The bounded FIFO of TS chunks between DirectShow's streaming thread (Push)
// and the host's threads (Pop, Clear, GetCount).
//
// Push copies each byte once into an accumulation buffer of ChunkSize bytes;
// a full buffer becomes a chunk without a copy and a fresh buffer takes its
// place. Appending a chunk first drops the oldest ones until fewer than
// MaxChunks remain (a maximum of 0 keeps one). QueueLock is taken once per
// chunk produced and released in between, so Pop can run between the chunks
// of one large sample.
// With ChunkSize 0 every pushed block becomes one chunk of its own size.
//
// Chunks handed back through Recycle (and chunks the drop rule evicts) keep
// their buffer for the next chunk, a few at most: a freshly allocated 188 KiB
// buffer faults its pages in again on every chunk, which costs more than the
// copy itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>

#include "driver/TsChunk.h"
#include "platform/Locks.h"

class TsChunkQueue {
public:
    TsChunkQueue();  // empty and unconfigured: ChunkSize 0, MaxChunks 0
    ~TsChunkQueue();
    TsChunkQueue(const TsChunkQueue&) = delete;
    TsChunkQueue& operator=(const TsChunkQueue&) = delete;

    // Clears the queue and sets a new chunk size (0: no accumulation) and
    // maximum chunk count. Runs before any Push can arrive.
    void Configure(uint32_t chunkSize, uint32_t maxChunks);

    // Appends `length` bytes; true when at least one chunk was appended.
    bool Push(const uint8_t* bytes, uint32_t length);

    // Removes and returns the oldest chunk (the caller owns it and frees it
    // with FreeTsChunk), or null when the queue is empty.
    TsChunk* Pop();

    // Takes back a chunk that Pop handed out: the record is freed and the
    // buffer is kept for a later chunk (or freed when enough are kept).
    // Null is allowed. FreeTsChunk remains a valid way to free a chunk.
    void Recycle(TsChunk* chunk);

    // Frees every queued chunk and discards the partly filled one.
    void Clear();

    // Complete chunks in the list; read without the lock, may be one stale.
    uint32_t GetCount() const;

    uint32_t ChunkSize() const { return chunkSize_; }
    uint32_t MaxChunks() const { return maxChunks_; }
    uint32_t AccumulatedBytes() const { return accumulatedBytes_; }

private:
    // Each runs with queueLock_ held. Accumulate and CopyBlock consume bytes
    // and return the chunk they completed (owned by the caller) or null.
    TsChunk* Accumulate(const uint8_t*& bytes, uint32_t& remaining);
    TsChunk* SealBuffer();
    TsChunk* CopyBlock(const uint8_t*& bytes, uint32_t& remaining);
    // Takes ownership of chunk; hands back the chunk it evicts (or leaves
    // `evicted` alone) so that it is freed after the lock is released.
    bool Append(TsChunk* chunk, TsChunk*& evicted);
    void PublishCount();
    uint8_t* TakeSpareBuffer();
    void FreeSpareBuffers();

    static constexpr uint32_t MaxSpareBuffers = 32;

    std::list<TsChunk*> chunks_;
    std::atomic<uint32_t> count_;  // mirrors chunks_.size() for the lock-free GetCount
    uint8_t* accumulationBuffer_;
    uint32_t accumulatedBytes_;
    uint32_t chunkSize_;
    uint32_t maxChunks_;
    uint8_t* spareBuffers_[MaxSpareBuffers];  // ChunkSize bytes each
    uint32_t spareCount_;
    PlainLock queueLock_;  // never taken twice: no re-entry needed
};
