// Calling a virtual method through its raw method-table slot, as a host or a
// graph manager does. The calling convention is the build's: on 32-bit x86 a
// plain member function is thiscall (the object in ECX, the callee pops the
// arguments) and a COM method is stdcall (the object pushed first); on x86-64
// both take the object as the first argument.
#pragma once

#include <windows.h>

#if defined(__i386__)
#define BDA_THISCALL __attribute__((thiscall))
#else
#define BDA_THISCALL
#endif

template <class R, class... A>
using MemberSlot = R(BDA_THISCALL*)(void*, A...);
template <class R, class... A>
using ComSlot = R(STDMETHODCALLTYPE*)(void*, A...);

inline void** MethodTable(void* object) { return *static_cast<void***>(object); }

// Slot `slot` of `object` called as a plain member function.
template <class R, class... A>
R CallMember(void* object, int slot, A... args) {
    return reinterpret_cast<MemberSlot<R, A...>>(MethodTable(object)[slot])(object, args...);
}

// Slot `slot` of `object` called as a COM method.
template <class R, class... A>
R CallComMethod(void* object, int slot, A... args) {
    return reinterpret_cast<ComSlot<R, A...>>(MethodTable(object)[slot])(object, args...);
}
