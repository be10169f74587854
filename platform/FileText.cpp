#include "platform/FileText.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/UniqueHandle.h"

bool ReadWholeFile(const std::wstring& path, std::string* bytes, size_t maxBytes) {
    bytes->clear();
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return false;
    char block[4096];
    for (size_t read; (read = std::fread(block, 1, sizeof block, file)) > 0;) {
        if (read > maxBytes - bytes->size()) {
            bytes->clear();
            std::fclose(file);
            return false;
        }
        bytes->append(block, read);
    }
    std::fclose(file);
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
    return ReadWholeFile(path, bytes, static_cast<size_t>(-1));
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    ReadWholeFile(path, &bytes);
    return bytes;
}

namespace {

// A name beside `path` no other writer picks at the same moment.
std::wstring TemporaryBeside(const std::wstring& path) {
    return path + L".part-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
    }
    return FlushFileBuffers(file) != FALSE;
}

}  // namespace

bool WriteWholeFile(const std::wstring& path, const std::string& bytes, unsigned long* error) {
    const std::wstring temporary = TemporaryBeside(path);
    HANDLE created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    UniqueHandle file;
    file.Adopt(created);
    bool ok = WriteAll(file.Get(), bytes);
    if (!ok) *error = GetLastError();
    file.Close();
    if (ok && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = GetLastError();
        ok = false;
    }
    if (!ok) DeleteFileW(temporary.c_str());
    return ok;
}
