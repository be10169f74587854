#include "tools/bonhost/RecordOutput.h"

#include <io.h>

#include <cstdio>

#include "tools/bonhost/BonhostText.h"

bool RecordOutput::Open(const std::string& path, std::string* error) {
    if (path == "-") return TakeStdout(error);
    const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot write " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    handle_.Adopt(file);
    return true;
}

bool RecordOutput::TakeStdout(std::string* error) {
    const HANDLE original = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE own = nullptr;
    if (original == nullptr || original == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        *error = "no stdout to write the TS to";
        return false;
    }
    handle_.Adopt(own);
    stdout_ = true;
    // From here on, whatever prints to stdout prints to stderr. _dup2 closes
    // the CRT's own handle of stdout; the TS keeps the duplicate.
    std::fflush(stdout);
    _dup2(_fileno(stderr), _fileno(stdout));
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    return true;
}

bool RecordOutput::Write(const BYTE* data, DWORD size) {
    while (!failed_ && size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle_.Get(), data, size, &written, nullptr) || written == 0) {
            failed_ = true;
            break;
        }
        data += written;
        size -= written;
    }
    return !failed_;
}

bool RecordOutput::Close() {
    handle_.Close();
    return !failed_;
}
