// Push runs on the streaming thread, Pop/Clear/GetCount on the host's threads.
// One lock pass forms at most one chunk, so a large sample never holds the
// lock for more than one chunk's copy. Every allocation a chunk needs (next
// buffer, record, list element) is made before the list is touched, so a
// failed allocation loses that chunk's bytes and leaves the list intact.
// An evicted chunk is freed after the lock is released.
#include "driver/TsChunkQueue.h"

#include <cstring>
#include <new>

#include "platform/Trace.h"

namespace {

void FreeChunks(std::list<TsChunk*>& chunks) {
    for (TsChunk* chunk : chunks) FreeTsChunk(chunk);
    chunks.clear();
}

}  // namespace

TsChunkQueue::TsChunkQueue()
    : count_(0),
      accumulationBuffer_(nullptr),
      accumulatedBytes_(0),
      chunkSize_(0),
      maxChunks_(0),
      spareBuffers_(),
      spareCount_(0) {}

TsChunkQueue::~TsChunkQueue() {
    Clear();
    FreeSpareBuffers();
    delete[] accumulationBuffer_;
}

void TsChunkQueue::Configure(uint32_t chunkSize, uint32_t maxChunks) {
    Clear();
    // No sample can arrive yet, so the buffers are swapped without the lock.
    FreeSpareBuffers();
    delete[] accumulationBuffer_;
    accumulationBuffer_ = nullptr;
    if (chunkSize != 0) {
        accumulationBuffer_ = new (std::nothrow) uint8_t[chunkSize];
        if (accumulationBuffer_ == nullptr)
            Trace("(TsChunkQueue::Configure) no accumulation buffer", chunkSize);
    }
    chunkSize_ = chunkSize;
    maxChunks_ = maxChunks;
}

bool TsChunkQueue::Push(const uint8_t* bytes, uint32_t length) {
    if (length == 0) return false;
    bool appended = false;
    uint32_t remaining = length;
    while (remaining > 0) {
        TsChunk* evicted = nullptr;
        {
            ScopedPlainLock lock(queueLock_);
            TsChunk* chunk = accumulationBuffer_ != nullptr ? Accumulate(bytes, remaining)
                                                            : CopyBlock(bytes, remaining);
            if (chunk != nullptr && Append(chunk, evicted)) appended = true;
        }
        Recycle(evicted);
    }
    return appended;
}

TsChunk* TsChunkQueue::Accumulate(const uint8_t*& bytes, uint32_t& remaining) {
    const uint32_t room = chunkSize_ - accumulatedBytes_;
    const uint32_t n = remaining < room ? remaining : room;
    std::memcpy(accumulationBuffer_ + accumulatedBytes_, bytes, n);
    accumulatedBytes_ += n;
    bytes += n;
    remaining -= n;
    if (accumulatedBytes_ < chunkSize_) return nullptr;
    accumulatedBytes_ = 0;
    return SealBuffer();
}

TsChunk* TsChunkQueue::SealBuffer() {
    uint8_t* fresh = TakeSpareBuffer();
    if (fresh == nullptr) fresh = new (std::nothrow) uint8_t[chunkSize_];
    TsChunk* chunk =
        fresh != nullptr ? new (std::nothrow) TsChunk{accumulationBuffer_, chunkSize_} : nullptr;
    if (chunk == nullptr) {
        // The full buffer is reused; its bytes are lost.
        delete[] fresh;
        Trace("(TsChunkQueue::Push) chunk lost: out of memory", chunkSize_);
        return nullptr;
    }
    accumulationBuffer_ = fresh;
    return chunk;
}

TsChunk* TsChunkQueue::CopyBlock(const uint8_t*& bytes, uint32_t& remaining) {
    const uint8_t* source = bytes;
    const uint32_t n = remaining;
    bytes += n;
    remaining = 0;
    uint8_t* data = new (std::nothrow) uint8_t[n];
    TsChunk* chunk = data != nullptr ? new (std::nothrow) TsChunk{data, n} : nullptr;
    if (chunk == nullptr) {
        delete[] data;
        Trace("(TsChunkQueue::Push) block lost: out of memory", n);
        return nullptr;
    }
    std::memcpy(data, source, n);
    return chunk;
}

bool TsChunkQueue::Append(TsChunk* chunk, TsChunk*& evicted) {
    std::list<TsChunk*> element;
    try {
        element.push_back(chunk);
    } catch (const std::bad_alloc&) {
        FreeTsChunk(chunk);
        Trace("(TsChunkQueue::Push) chunk lost: out of memory");
        return false;
    }
    // A maximum of 0 would never make room; it keeps one chunk instead.
    // The list never exceeds the limit (Configure empties it before changing
    // the limit), so one eviction always makes room.
    const size_t limit = maxChunks_ != 0 ? maxChunks_ : 1;
    if (chunks_.size() >= limit) {
        evicted = chunks_.front();
        chunks_.pop_front();
    }
    chunks_.splice(chunks_.end(), element);
    PublishCount();
    return true;
}

TsChunk* TsChunkQueue::Pop() {
    ScopedPlainLock lock(queueLock_);
    if (chunks_.empty()) return nullptr;
    TsChunk* chunk = chunks_.front();
    chunks_.pop_front();
    PublishCount();
    return chunk;
}

void TsChunkQueue::Clear() {
    std::list<TsChunk*> dropped;
    {
        ScopedPlainLock lock(queueLock_);
        dropped.swap(chunks_);
        accumulatedBytes_ = 0;
        PublishCount();
    }
    FreeChunks(dropped);
}

void TsChunkQueue::Recycle(TsChunk* chunk) {
    if (chunk == nullptr) return;
    uint8_t* buffer = chunk->Data;
    const uint32_t length = chunk->Length;
    delete chunk;
    {
        ScopedPlainLock lock(queueLock_);
        if (buffer != nullptr && chunkSize_ != 0 && length == chunkSize_ &&
            spareCount_ < MaxSpareBuffers) {
            spareBuffers_[spareCount_++] = buffer;
            buffer = nullptr;
        }
    }
    delete[] buffer;
}

uint8_t* TsChunkQueue::TakeSpareBuffer() {
    return spareCount_ > 0 ? spareBuffers_[--spareCount_] : nullptr;
}

void TsChunkQueue::FreeSpareBuffers() {
    while (spareCount_ > 0) delete[] spareBuffers_[--spareCount_];
}

uint32_t TsChunkQueue::GetCount() const { return count_.load(std::memory_order_relaxed); }

void TsChunkQueue::PublishCount() {
    count_.store(static_cast<uint32_t>(chunks_.size()), std::memory_order_relaxed);
}
