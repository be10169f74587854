// An export of a loaded library by name, with the type it is called through.
#pragma once

#include <windows.h>

// The export `name` of `module` as a `Function`, or null when the library lacks it.
template <class Function>
Function LibraryExport(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
