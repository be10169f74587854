// A whole file read at once by its (UTF-16) path: reports, scripts and
// settings that tools and the simulator take in; and one written whole or
// not at all, for the files tools leave for the driver. Windows only.
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

// Makes `bytes` the whole file at `path`, or changes nothing: the bytes go
// into a new file beside it first, which then takes its place, so a reader
// (the driver reading its channel file) sees the old file or the new one
// and a write that fails halfway leaves the old one as it was. False with
// the Win32 error code in *error when it could not.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes, unsigned long* error);
