// 32-bit x86 only: calls a function through a raw pointer and reports how
// many bytes of arguments the callee left on the stack, which is what tells
// the calling conventions apart: a caller-cleans (cdecl) function leaves all
// of them, a callee-cleans one (stdcall, thiscall) none. A mismatch between
// what a host assumes and what the DLL does corrupts the host's stack on
// every call, so the exports and the host slots are probed this way.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#if defined(__i386__)
#define BDA_STACK_PROBE 1

// Pushes `count` 32-bit words of `args` right to left, loads ECX with
// `thisValue` (the object of a thiscall), calls `function` and restores the
// stack. Returns EAX; *bytesLeft receives the argument bytes the callee did
// not pop.
extern "C" uint32_t BdaProbeCall(const void* function, const void* thisValue,
                                 const uint32_t* args, uint32_t count, uint32_t* bytesLeft);

template <class T>
uint32_t ProbeWord(T value) {
    if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>)
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
    else
        return static_cast<uint32_t>(value);
}

struct ProbeResult {
    uint32_t Eax;
    uint32_t BytesLeft;
};

template <class... A>
ProbeResult ProbeCall(const void* function, const void* thisValue, A... args) {
    const std::vector<uint32_t> words = {ProbeWord(args)...};
    ProbeResult result{0, 0};
    result.Eax = BdaProbeCall(function, thisValue, words.data(),
                              static_cast<uint32_t>(words.size()), &result.BytesLeft);
    return result;
}
#endif
