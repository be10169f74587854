#include "platform/FileText.h"

#include <cstdio>

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
