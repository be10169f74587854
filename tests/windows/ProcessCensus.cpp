#include "tests/windows/ProcessCensus.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <vector>

namespace {

// The records of NtQuerySystemInformation(SystemHandleInformation = 16).
struct HandleEntry {
    ULONG OwnerPid;
    BYTE ObjectType;
    BYTE HandleFlags;
    USHORT HandleValue;
    PVOID ObjectPointer;
    ULONG AccessMask;
};
struct HandleList {
    ULONG Count;
    HandleEntry Handles[1];
};

constexpr ULONG SystemHandleList = 16;
constexpr ULONG ObjectTypeName = 2;  // ObjectTypeInformation
constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);

using QuerySystem = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryObject = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <class Function>
Function NtdllFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// The whole system's handle list; empty when it is refused.
std::vector<unsigned char> SystemHandles() {
    static const QuerySystem query = NtdllFunction<QuerySystem>("NtQuerySystemInformation");
    std::vector<unsigned char> buffer(1 << 16);
    for (int attempt = 0; query != nullptr && attempt < 16; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(SystemHandleList, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status >= 0) return buffer;
        if (status != InfoLengthMismatch) break;
        buffer.resize(buffer.size() * 2 > needed + 4096 ? buffer.size() * 2 : needed + 4096);
    }
    return {};
}

}  // namespace

ProcessFigures ProcessCensus::Take() {
    ProcessFigures figures;
    CountThreads(&figures);
    CountHandles(&figures);
    CountHeapBytes(&figures);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        figures.PrivateBytes = static_cast<int64_t>(memory.PagefileUsage);
    return figures;
}

void ProcessCensus::CountHandles(ProcessFigures* figures) {
    const std::vector<unsigned char> buffer = SystemHandles();
    if (buffer.empty()) {
        figures->Handles = -1;
        return;
    }
    const HandleList* list = reinterpret_cast<const HandleList*>(buffer.data());
    const size_t capacity =
        (buffer.size() - offsetof(HandleList, Handles)) / sizeof(HandleEntry);
    const ULONG self = GetCurrentProcessId();
    for (size_t index = 0; index < list->Count && index < capacity; ++index) {
        const HandleEntry& entry = list->Handles[index];
        if (entry.OwnerPid != self) continue;
        const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.HandleValue));
        ++figures->HandlesByType[TypeOf(handle)];
        ++figures->Handles;
    }
}

void ProcessCensus::CountThreads(ProcessFigures* figures) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        if (thread.th32OwnerProcessID == self) ++figures->Threads;
    CloseHandle(snapshot);
}

void ProcessCensus::CountHeapBytes(ProcessFigures* figures) {
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    for (DWORD index = 0; index < count && index < 256; ++index) {
        if (!HeapLock(heaps[index])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[index], &entry))
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) figures->HeapBytes += entry.cbData;
        HeapUnlock(heaps[index]);
    }
}

long ProcessCensus::TlsSlotsInUse() {
    constexpr long Capacity = 1088;  // TLS_MINIMUM_AVAILABLE plus the expansion slots
    std::vector<DWORD> taken;
    for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc())
        taken.push_back(slot);
    for (DWORD slot : taken) TlsFree(slot);
    return Capacity - static_cast<long>(taken.size());
}

std::string ProcessCensus::TypeOf(HANDLE handle) {
    static const QueryObject query = NtdllFunction<QueryObject>("NtQueryObject");
    alignas(8) unsigned char buffer[1024] = {};
    ULONG needed = 0;
    if (query == nullptr || query(handle, ObjectTypeName, buffer, sizeof buffer, &needed) < 0)
        return "?";
    const UNICODE_STRING& name = reinterpret_cast<const PUBLIC_OBJECT_TYPE_INFORMATION*>(buffer)->TypeName;
    if (name.Buffer == nullptr) return "?";
    std::string text;
    for (USHORT at = 0; at < name.Length / sizeof(WCHAR); ++at)
        text += static_cast<char>(name.Buffer[at]);  // type names are ASCII
    return text.empty() ? "(unnamed)" : text;
}

ProcessFigures ProcessCensus::Growth(const ProcessFigures& earlier, const ProcessFigures& later) {
    ProcessFigures growth;
    for (const auto& type : later.HandlesByType) growth.HandlesByType[type.first] += type.second;
    for (const auto& type : earlier.HandlesByType) growth.HandlesByType[type.first] -= type.second;
    for (auto type = growth.HandlesByType.begin(); type != growth.HandlesByType.end();)
        type = type->second == 0 ? growth.HandlesByType.erase(type) : std::next(type);
    growth.Handles = later.Handles - earlier.Handles;
    growth.Threads = later.Threads - earlier.Threads;
    growth.PrivateBytes = later.PrivateBytes - earlier.PrivateBytes;
    growth.HeapBytes = later.HeapBytes - earlier.HeapBytes;
    return growth;
}

std::string ProcessCensus::Describe(const ProcessFigures& figures) {
    std::string text = "handles " + std::to_string(figures.Handles) + " (";
    bool first = true;
    for (const auto& type : figures.HandlesByType) {
        text += (first ? "" : ", ") + type.first + " " + std::to_string(type.second);
        first = false;
    }
    char tail[128];
    std::snprintf(tail, sizeof tail, "), threads %ld, private %.1f MiB, heaps %.1f KiB",
                  figures.Threads, static_cast<double>(figures.PrivateBytes) / 1048576.0,
                  static_cast<double>(figures.HeapBytes) / 1024.0);
    return text + tail;
}
