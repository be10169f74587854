// The bounded FIFO of TS chunks between DirectShow's streaming thread (Push)
// and the host's threads (Pop, Recycle, Clear, GetCount).
//
// Push copies each byte once into the chunk being filled, which belongs to
// the streaming thread alone, so a sample takes no lock. QueueLock is taken
// once per completed chunk: the full chunk joins a ring of MaxChunks slots
// (the oldest is dropped when the ring is full; a maximum of 0 keeps one)
// and a spare takes its place: a chunk the host handed back through Recycle
// or the drop rule or Clear removed, or a new one when none is left. Once the
// stream runs a chunk costs no allocation, and its pages are faulted in:
// fresh pages cost Windows far more than the copy into them, so a reader
// that falls behind by a burst and catches up must find its chunks kept.
//
// Spares are therefore kept up to the recent high-water mark, but not for
// good: a 32-bit host with several tuners cannot afford a full ring's worth
// per tuner after one long stall. The host side (Recycle, which the driver
// calls at every GetTsStream) watches, over windows of IdleSpareMs, how many
// spares stayed untouched the whole window; those beyond KeptSpares go back
// to the system, at most GiveBackBatch per call and after the lock is left.
//
// Memory that cannot be had loses data, never the queue: a chunk whose
// buffer cannot be made is skipped whole, as the drop rule drops one, and
// the next chunk tries again.
//
// Clear cannot touch the chunk being filled, so it bumps a purge epoch
// instead. The filling chunk carries the epoch its Push read on entry; a
// chunk whose epoch is stale is discarded when it completes, and a Push that
// sees a new epoch starts the chunk afresh. So no byte of a Push that
// returned before Clear began reaches a chunk queued after Clear, and the
// bytes pushed after Clear come out in order from the first one on.
// With ChunkSize 0 every pushed block becomes one chunk of its own size.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "driver/TsChunk.h"
#include "platform/ChunkMemory.h"
#include "platform/Locks.h"
#include "platform/MonotonicClock.h"

class TsChunkQueue {
public:
    // Spares kept however long they stay unused.
    static constexpr uint32_t KeptSpares = 8;
    // Spares untouched for a whole window of this many milliseconds are
    // given back (beyond KeptSpares)...
    static constexpr uint32_t IdleSpareMs = 2000;
    // ...at most this many per Recycle.
    static constexpr uint32_t GiveBackBatch = 16;

    // Empty and unconfigured: ChunkSize 0, MaxChunks 0. Buffers come from
    // `buffers`, the time the idle spares are judged by from `clock`; both
    // must outlive the queue.
    explicit TsChunkQueue(ChunkBufferSource& buffers = ChunkMemory::System(),
                          MonotonicClock& clock = MonotonicClock::System());
    ~TsChunkQueue();
    TsChunkQueue(const TsChunkQueue&) = delete;
    TsChunkQueue& operator=(const TsChunkQueue&) = delete;

    // Clears the queue, frees every buffer it keeps and sets a new chunk size
    // (0: no accumulation) and maximum chunk count. Runs while no Push can
    // arrive.
    void Configure(uint32_t chunkSize, uint32_t maxChunks);

    // Appends `length` bytes; true when at least one chunk was appended.
    // Streaming thread only: one Push at a time. Most samples fit in the
    // chunk being filled with no Clear between: that copy is inline, since at
    // one TS packet per sample a call costs as much as the copy.
    bool Push(const uint8_t* bytes, uint32_t length) {
        if (length != 0 && length < chunkSize_ - filled_ && filling_ != nullptr &&
            epoch_.load(std::memory_order_relaxed) == fillEpoch_) {
            std::memcpy(filling_->Data + filled_, bytes, length);
            filled_ += length;
            return false;
        }
        return PushSlow(bytes, length);
    }

    // Removes and returns the oldest chunk (the caller owns it and hands it
    // back through Recycle, or frees it with FreeTsChunk when the queue's
    // buffers are the system's), or null when the queue is empty.
    TsChunk* Pop();

    // Takes back a chunk that Pop handed out: it is kept whole for a later
    // chunk, or freed when it does not fit. Null is allowed. Either way,
    // spares that stayed idle go back a few at a time (see above).
    void Recycle(TsChunk* chunk);

    // Drops every queued chunk (kept as spares) and discards the partly
    // filled one, also when a Push runs meanwhile.
    void Clear();

    // Frees the spare chunks and the buffer of the chunk being filled, so an
    // idle queue holds no chunk memory; the next Push makes a new buffer.
    // Runs while no Push can arrive (the stream is stopped).
    void ReleaseBuffers();

    // Complete chunks in the ring; read without the lock, may be one stale.
    uint32_t GetCount() const;

    // Spare chunks kept (for tests and figures).
    uint32_t SpareCount() const { return spareCount_.load(std::memory_order_relaxed); }
    uint32_t ChunkSize() const { return chunkSize_; }
    uint32_t MaxChunks() const { return maxChunks_; }
    // Bytes waiting in the partly filled chunk. Streaming thread only (or
    // while no Push runs).
    uint32_t AccumulatedBytes() const;

private:
    // Streaming thread side.
    bool PushSlow(const uint8_t* bytes, uint32_t length);
    bool PushBlock(const uint8_t* bytes, uint32_t length);
    bool Fill(const uint8_t* bytes, uint32_t length);
    void StartFilling();
    void MakeFillingChunk();
    bool CompleteChunk();
    bool HandOver(TsChunk*& fresh, TsChunk*& unwanted);

    // Each runs with queueLock_ held. Append and KeepSpare hand back the chunk
    // they could not keep (or null) so that it is freed after the lock.
    TsChunk* Append(TsChunk* chunk);
    TsChunk* KeepSpare(TsChunk* chunk);
    TsChunk* TakeSpare();
    // Moves up to GiveBackBatch idle spares into `out`; their count.
    uint32_t TakeIdleSpares(uint64_t nowMs, TsChunk** out);
    TsChunk* PopLocked();
    void PublishCount();

    void FreeKeptChunks();
    TsChunk* NewChunk(uint32_t size);
    void FreeChunk(TsChunk* chunk);

    // Each group starts a cache line: Push writes the first at every sample,
    // the host's threads write the last at every chunk (and read count_ at
    // will); on a shared line every sample would pull the line across cores.

    // The streaming thread's own; no other thread touches them while a Push
    // can run. epoch_ is read at every Push and written only by Clear.
    alignas(64) TsChunk* filling_;  // chunk being filled; null until made (or lost)
    uint32_t filled_;               // bytes of the current chunk consumed so far
    uint32_t fillEpoch_;            // purge epoch the filled bytes belong to
    uint32_t chunkSize_;
    std::atomic<uint32_t> epoch_;   // bumped by every Clear, under queueLock_

    // Set by Configure only.
    alignas(64) uint32_t maxChunks_;
    uint32_t ringCapacity_;
    uint32_t spareCapacity_;
    std::unique_ptr<TsChunk*[]> ring_;    // ringCapacity_ slots, oldest at ringHead_
    std::unique_ptr<TsChunk*[]> spares_;  // spareCapacity_ slots
    ChunkBufferSource& buffers_;
    MonotonicClock& clock_;

    // Written under queueLock_; Push reads spareCount_ and GetCount count_
    // without it.
    alignas(64) PlainLock queueLock_;  // never taken twice: no re-entry needed
    uint32_t ringHead_;
    uint32_t ringSize_;
    std::atomic<uint32_t> spareCount_;  // entries of spares_ in use
    std::atomic<uint32_t> count_;       // mirrors ringSize_ for the lock-free GetCount
    uint64_t windowStartMs_;            // the idle-spare window under way began
    uint32_t lowWater_;                 // fewest spares seen in it: untouched ones
    uint32_t idleToGive_;               // found idle by the last window, not yet given back
};
