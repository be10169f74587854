#include "tools/bonhost/WholeFileWriter.h"

#include <windows.h>

#include "platform/UniqueHandle.h"
#include "tools/bonhost/BonhostText.h"

namespace {

std::string Reason(const char* step, DWORD code) {
    return std::string(step) + " failed (error " + std::to_string(code) + ")";
}

// The whole text into a new file at `path`; the handle is closed on return.
bool WriteNew(const std::wstring& path, const std::string& text, std::string* error) {
    UniqueHandle file;
    const HANDLE opened =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        *error = Reason("creating the temporary file", GetLastError());
        return false;
    }
    file.Adopt(opened);
    for (size_t done = 0; done < text.size();) {
        DWORD written = 0;
        const DWORD part = static_cast<DWORD>(text.size() - done > 1u << 20 ? 1u << 20 : text.size() - done);
        if (!WriteFile(file.Get(), text.data() + done, part, &written, nullptr) || written == 0) {
            *error = Reason("writing the temporary file", GetLastError());
            return false;
        }
        done += written;
    }
    if (!FlushFileBuffers(file.Get())) {
        *error = Reason("flushing the temporary file", GetLastError());
        return false;
    }
    return true;
}

}  // namespace

bool WholeFileWriter::Write(const std::string& path, const std::string& text, std::string* error) {
    const std::wstring target = WideFromUtf8(path);
    const std::wstring temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    if (WriteNew(temporary, text, error)) {
        if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        *error = Reason("replacing the file", GetLastError());
    }
    DeleteFileW(temporary.c_str());
    return false;
}
