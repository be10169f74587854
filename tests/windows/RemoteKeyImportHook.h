// Replaces one imported function in this program's own import table for the
// life of the object, so that a test can make a system call fail or count it
// inside the statically linked graph code. Not thread-safe to install.
#pragma once

#include <windows.h>

class ImportHook {
public:
    // `function` is the imported name (e.g. "CreateEventW"); Installed() is
    // false when this program does not import it.
    ImportHook(const char* function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool Installed() const { return slot_ != nullptr; }
    // The function the slot held before (call it to forward).
    void* Original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
