// A whole file read at once by its (UTF-16) path: reports, scripts and
// settings that tools and the simulator take in. Windows only.
#pragma once

#include <cstddef>
#include <string>

// The file's bytes into *bytes; false (and *bytes empty) when it cannot be opened.
bool ReadWholeFile(const std::wstring& path, std::string* bytes);
// The same for a file that must not be larger than `maxBytes`: false (and
// *bytes empty) for a larger one too, of which no more than that is read.
bool ReadWholeFile(const std::wstring& path, std::string* bytes, size_t maxBytes);
// The file's bytes, empty when it cannot be read.
std::string ReadWholeFile(const std::wstring& path);
