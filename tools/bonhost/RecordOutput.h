// Where `bonhost record` puts the TS: a file, or stdout for a tuner server
// that reads its tuner command's output. Taking stdout moves the TS to a
// handle of its own and points the process's stdout (the C runtime's and the
// standard handle) at stderr, so no message of bonhost, the driver or a
// library it loads can land in the stream.
#pragma once

#include <windows.h>

#include <string>

#include "platform/UniqueHandle.h"

class RecordOutput {
public:
    // "-" takes stdout, anything else creates (or empties) that file (UTF-8
    // path). False with a one-line reason in *error.
    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const { return handle_.Get() != nullptr; }
    bool IsStdout() const { return stdout_; }

    // Writes all of `data`; false once a write has failed (the reader went
    // away, the disk is full): nothing more is written after that.
    bool Write(const BYTE* data, DWORD size);
    bool Failed() const { return failed_; }

    // Closes the output; false when anything written was lost.
    bool Close();

private:
    bool TakeStdout(std::string* error);

    UniqueHandle handle_;
    bool stdout_ = false;
    bool failed_ = false;
};
