// Push runs on the streaming thread, Pop/Recycle/Clear/GetCount on the host's
// threads. The chunk being filled is the streaming thread's alone; everything
// both sides share (the ring, the spares, the epoch) changes under queueLock_.
// A new chunk is allocated before the lock is taken and only when no spare is
// left, so a failed allocation loses that chunk's bytes and leaves the ring
// intact. Chunks that cannot be kept are freed after the lock is released.
#include "driver/TsChunkQueue.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "platform/ChunkMemory.h"
#include "platform/Trace.h"

namespace {

std::unique_ptr<TsChunk*[]> NewSlots(size_t count) {
    return std::unique_ptr<TsChunk*[]>(new (std::nothrow) TsChunk*[count]);
}

}  // namespace

TsChunkQueue::TsChunkQueue(ChunkBufferSource& buffers, MonotonicClock& clock)
    : filling_(nullptr),
      filled_(0),
      fillEpoch_(0),
      chunkSize_(0),
      epoch_(0),
      maxChunks_(0),
      ringCapacity_(0),
      spareCapacity_(0),
      buffers_(buffers),
      clock_(clock),
      ringHead_(0),
      ringSize_(0),
      spareCount_(0),
      count_(0),
      windowStartMs_(clock.NowMs()),
      lowWater_(0),
      idleToGive_(0) {
    Configure(0, 0);
}

// A chunk with a buffer of `size` bytes (the caller owns both), or null when
// either allocation fails.
TsChunk* TsChunkQueue::NewChunk(uint32_t size) {
    uint8_t* data = buffers_.Allocate(size);
    TsChunk* chunk = data != nullptr ? new (std::nothrow) TsChunk{data, size} : nullptr;
    if (chunk == nullptr) buffers_.Free(data, size);
    return chunk;
}

void TsChunkQueue::FreeChunk(TsChunk* chunk) {
    if (chunk == nullptr) return;
    buffers_.Free(chunk->Data, chunk->Length);
    delete chunk;
}

TsChunkQueue::~TsChunkQueue() {
    Clear();
    FreeKeptChunks();
}

void TsChunkQueue::Configure(uint32_t chunkSize, uint32_t maxChunks) {
    // A maximum of 0 would never make room; it keeps one chunk instead.
    const uint32_t slots = maxChunks != 0 ? maxChunks : 1;
    // Room for every chunk in circulation: the ring's, the one filling and
    // those the host holds.
    const uint32_t spareSlots = slots + KeptSpares;
    std::unique_ptr<TsChunk*[]> ring = NewSlots(slots);
    std::unique_ptr<TsChunk*[]> spares = NewSlots(spareSlots);
    if (!ring || !spares) Trace("(TsChunkQueue::Configure) no chunk slots", slots);
    Clear();
    FreeKeptChunks();
    {
        ScopedPlainLock lock(queueLock_);
        ring_.swap(ring);
        spares_.swap(spares);
        ringCapacity_ = ring_ ? slots : 0;
        spareCapacity_ = spares_ ? spareSlots : 0;
        ringHead_ = 0;
        chunkSize_ = chunkSize;
        maxChunks_ = maxChunks;
        windowStartMs_ = clock_.NowMs();
    }
    // No sample can arrive yet, so the filling chunk is made without the lock.
    filled_ = 0;
    fillEpoch_ = epoch_.load(std::memory_order_relaxed);
    if (chunkSize != 0) {
        filling_ = NewChunk(chunkSize);
        if (filling_ == nullptr) Trace("(TsChunkQueue::Configure) no accumulation buffer", chunkSize);
    }
}

// A sample that completes a chunk, a Push after Clear, or no accumulation.
bool TsChunkQueue::PushSlow(const uint8_t* bytes, uint32_t length) {
    if (length == 0) return false;
    if (chunkSize_ == 0) return PushBlock(bytes, length);
    return Fill(bytes, length);
}

// Copies the sample chunk by chunk, handing over each one it completes.
bool TsChunkQueue::Fill(const uint8_t* bytes, uint32_t length) {
    StartFilling();
    bool appended = false;
    while (length > 0) {
        if (filling_ == nullptr && filled_ == 0) MakeFillingChunk();
        const uint32_t n = std::min(length, chunkSize_ - filled_);
        // Without a buffer (out of memory) the chunk's bytes are skipped.
        if (filling_ != nullptr) std::memcpy(filling_->Data + filled_, bytes, n);
        filled_ += n;
        bytes += n;
        length -= n;
        if (filled_ == chunkSize_ && CompleteChunk()) appended = true;
    }
    return appended;
}

// A Clear since the last Push discards the partly filled chunk. Relaxed is
// enough: only the value matters, and the hand-over checks it again under
// the lock that orders it with Clear.
void TsChunkQueue::StartFilling() {
    const uint32_t epoch = epoch_.load(std::memory_order_relaxed);
    if (epoch == fillEpoch_) return;
    fillEpoch_ = epoch;
    filled_ = 0;
}

// After ReleaseBuffers, or after a chunk whose buffer could not be made.
void TsChunkQueue::MakeFillingChunk() {
    {
        ScopedPlainLock lock(queueLock_);
        filling_ = TakeSpare();
    }
    if (filling_ == nullptr) filling_ = NewChunk(chunkSize_);
}

bool TsChunkQueue::CompleteChunk() {
    filled_ = 0;
    if (filling_ == nullptr) {
        Trace("(TsChunkQueue::Push) chunk lost: out of memory", chunkSize_);
        return false;
    }
    // Only this thread takes spares but for the idle ones the host gives
    // back, and those never take the count below KeptSpares: one counted
    // now is there under the lock.
    TsChunk* fresh =
        spareCount_.load(std::memory_order_relaxed) == 0 ? NewChunk(chunkSize_) : nullptr;
    TsChunk* unwanted = nullptr;
    bool appended = false;
    {
        ScopedPlainLock lock(queueLock_);
        appended = HandOver(fresh, unwanted);
        if (fresh != nullptr) fresh = KeepSpare(fresh);
    }
    FreeChunk(fresh);
    FreeChunk(unwanted);
    return appended;
}

// Queues the full chunk and puts a spare in its place, or `fresh` (taking it
// over) when none is left. A chunk begun before a Clear is not queued: its bytes go and
// its buffer is filled again. `unwanted` receives a chunk to free.
bool TsChunkQueue::HandOver(TsChunk*& fresh, TsChunk*& unwanted) {
    if (fillEpoch_ != epoch_.load(std::memory_order_relaxed) || ringCapacity_ == 0) return false;
    TsChunk* next = TakeSpare();
    if (next == nullptr) std::swap(next, fresh);
    if (next == nullptr) {
        Trace("(TsChunkQueue::Push) chunk lost: out of memory", chunkSize_);
        return false;
    }
    unwanted = Append(filling_);
    filling_ = next;
    return true;
}

bool TsChunkQueue::PushBlock(const uint8_t* bytes, uint32_t length) {
    TsChunk* chunk = NewChunk(length);
    if (chunk == nullptr) {
        Trace("(TsChunkQueue::Push) block lost: out of memory", length);
        return false;
    }
    std::memcpy(chunk->Data, bytes, length);
    bool appended = false;
    {
        ScopedPlainLock lock(queueLock_);
        if (ringCapacity_ != 0) {
            chunk = Append(chunk);
            appended = true;
        }
    }
    FreeChunk(chunk);
    return appended;
}

TsChunk* TsChunkQueue::Append(TsChunk* chunk) {
    TsChunk* evicted = ringSize_ == ringCapacity_ ? PopLocked() : nullptr;
    ring_[(ringHead_ + ringSize_) % ringCapacity_] = chunk;
    ++ringSize_;
    PublishCount();
    return evicted != nullptr ? KeepSpare(evicted) : nullptr;
}

TsChunk* TsChunkQueue::Pop() {
    ScopedPlainLock lock(queueLock_);
    return PopLocked();
}

TsChunk* TsChunkQueue::PopLocked() {
    if (ringSize_ == 0) return nullptr;
    TsChunk* chunk = ring_[ringHead_];
    ringHead_ = (ringHead_ + 1) % ringCapacity_;
    --ringSize_;
    PublishCount();
    return chunk;
}

void TsChunkQueue::Clear() {
    // Chunks beyond the spares' room (of another size) are freed after the
    // lock, so the streaming thread's hand-over never waits for the system's pages.
    const uint32_t queued = GetCount();
    std::unique_ptr<TsChunk*[]> dropped(queued != 0 ? new (std::nothrow) TsChunk*[queued] : nullptr);
    uint32_t droppedCount = 0;
    {
        ScopedPlainLock lock(queueLock_);
        epoch_.store(epoch_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        while (TsChunk* chunk = PopLocked()) {
            chunk = KeepSpare(chunk);
            if (chunk == nullptr) continue;
            if (dropped && droppedCount < queued)
                dropped[droppedCount++] = chunk;
            else
                FreeChunk(chunk);  // more than counted, or no room to list them
        }
    }
    for (uint32_t i = 0; i < droppedCount; ++i) FreeChunk(dropped[i]);
}

void TsChunkQueue::Recycle(TsChunk* chunk) {
    const uint64_t now = clock_.NowMs();
    TsChunk* idle[GiveBackBatch];
    uint32_t idleCount = 0;
    {
        ScopedPlainLock lock(queueLock_);
        if (chunk != nullptr) chunk = KeepSpare(chunk);
        idleCount = TakeIdleSpares(now, idle);
    }
    FreeChunk(chunk);
    for (uint32_t i = 0; i < idleCount; ++i) FreeChunk(idle[i]);
}

// At the end of each window, the fewest spares it saw were never taken in
// it: beyond KeptSpares, those go back over the next calls. The window's
// count is the only bookkeeping; which spares go does not matter, they are
// alike.
uint32_t TsChunkQueue::TakeIdleSpares(uint64_t nowMs, TsChunk** out) {
    const uint32_t count = spareCount_.load(std::memory_order_relaxed);
    if (nowMs - windowStartMs_ >= IdleSpareMs) {
        idleToGive_ = lowWater_ > KeptSpares ? lowWater_ - KeptSpares : 0;
        windowStartMs_ = nowMs;
        lowWater_ = count;
    }
    uint32_t taken = 0;
    while (taken < GiveBackBatch && idleToGive_ > 0 &&
           spareCount_.load(std::memory_order_relaxed) > KeptSpares) {
        out[taken++] = TakeSpare();
        --idleToGive_;
    }
    return taken;
}

void TsChunkQueue::ReleaseBuffers() { FreeKeptChunks(); }

// Only chunks of the configured size can carry a later chunk.
TsChunk* TsChunkQueue::KeepSpare(TsChunk* chunk) {
    const uint32_t count = spareCount_.load(std::memory_order_relaxed);
    if (chunkSize_ == 0 || chunk->Length != chunkSize_ || chunk->Data == nullptr ||
        count == spareCapacity_)
        return chunk;
    spares_[count] = chunk;
    spareCount_.store(count + 1, std::memory_order_relaxed);
    return nullptr;
}

TsChunk* TsChunkQueue::TakeSpare() {
    const uint32_t count = spareCount_.load(std::memory_order_relaxed);
    if (count == 0) return nullptr;
    spareCount_.store(count - 1, std::memory_order_relaxed);
    if (count - 1 < lowWater_) lowWater_ = count - 1;
    return spares_[count - 1];
}

// The filling chunk and the spares; runs while no Push can.
void TsChunkQueue::FreeKeptChunks() {
    FreeChunk(filling_);
    filling_ = nullptr;
    filled_ = 0;
    ScopedPlainLock lock(queueLock_);
    while (TsChunk* chunk = TakeSpare()) FreeChunk(chunk);
    lowWater_ = 0;
    idleToGive_ = 0;
}

uint32_t TsChunkQueue::GetCount() const { return count_.load(std::memory_order_relaxed); }

uint32_t TsChunkQueue::AccumulatedBytes() const {
    const bool current = fillEpoch_ == epoch_.load(std::memory_order_relaxed);
    return filling_ != nullptr && current ? filled_ : 0;
}

void TsChunkQueue::PublishCount() { count_.store(ringSize_, std::memory_order_relaxed); }
