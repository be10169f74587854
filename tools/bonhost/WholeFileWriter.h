// Writes a file whole or not at all: the text goes to a temporary file
// beside the target, which then replaces the target in one rename. A reader
// (a tuner server loading its config) sees the old file or the new one,
// never half of one, and a failed write leaves the old file as it was.
#pragma once

#include <string>

class WholeFileWriter {
public:
    // Writes `text` to `path` (UTF-8); false with a one-line reason in
    // *error, and no temporary file left behind, when any step failed.
    static bool Write(const std::string& path, const std::string& text, std::string* error);
};
