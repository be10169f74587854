// Stream delivery: the writer filter's callback feeds the chunk queue on the
// streaming thread; the host waits on the stream event and takes chunks.
#include <cstring>

#include "driver/CMyBonDriver.h"
#include "exports/DriverGlobals.h"
#include "platform/Trace.h"

int32_t CMyBonDriver::OnTsSample(void* context, const uint8_t* bytes, int32_t length) {
    CMyBonDriver* driver = static_cast<CMyBonDriver*>(context);
    if (driver == nullptr || length <= 0) return 0;
    if (driver->CallbackAttached.load(std::memory_order_acquire) == 0) return 0;
    bool appended = false;
    try {
        appended = driver->ChunkQueue.Push(bytes, static_cast<uint32_t>(length));
    } catch (...) {
        // The streaming thread belongs to DirectShow: nothing may escape.
        appended = false;
    }
    HANDLE event = driver->StreamEvent.Get();
    if (appended && event != nullptr) SetEvent(event);
    return 0;
}

DWORD CMyBonDriver::WaitTsStream(DWORD timeoutMs) {
    Trace("(CMyBonDriver::WaitTsStream)");
    HANDLE event = StreamEvent.Get();
    if (event == nullptr) return WAIT_ABANDONED;
    return WaitForSingleObject(event, timeoutMs == 0 ? INFINITE : timeoutMs);
}

DWORD CMyBonDriver::GetReadyCount() {
    Trace("(CMyBonDriver::GetReadyCount)");
    ScopedLock lock(DriverLock);
    return ChunkQueue.GetCount();
}

BOOL CMyBonDriver::GetTsStream(BYTE** data, DWORD* size, DWORD* remaining) {
    ScopedLock lock(DriverLock);
    if (data == nullptr || size == nullptr || remaining == nullptr) return FALSE;
    FreeHeldChunk();
    HeldChunk = ChunkQueue.Pop();
    if (HeldChunk == nullptr) {
        *data = nullptr;
        *size = 0;
        *remaining = 0;
        return FALSE;
    }
    *data = HeldChunk->Data;
    *size = HeldChunk->Length;
    *remaining = ChunkQueue.GetCount();
    return TRUE;
}

BOOL CMyBonDriver::GetTsStream(BYTE* destination, DWORD* size, DWORD* remaining) {
    ScopedLock lock(DriverLock);
    // Without a destination nothing is taken from the queue: a chunk popped
    // here could never reach the host.
    if (destination == nullptr) return FALSE;
    BYTE* chunk = nullptr;
    BOOL result = static_cast<IBonDriver*>(this)->GetTsStream(&chunk, size, remaining);
    if (result && *size != 0) std::memcpy(destination, chunk, *size);
    return result;
}

void CMyBonDriver::PurgeTsStream() {
    ScopedLock lock(DriverLock);
    ChunkQueue.Clear();
}
