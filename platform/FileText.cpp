#include "platform/FileText.h"

#include <cstdio>

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
    bytes->clear();
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return false;
    char block[4096];
    for (size_t read; (read = std::fread(block, 1, sizeof block, file)) > 0;) bytes->append(block, read);
    std::fclose(file);
    return true;
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    ReadWholeFile(path, &bytes);
    return bytes;
}
