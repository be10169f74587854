// Strict UTF-8 for the names the TS tools read and write: no overlong forms,
// no surrogates, nothing above U+10FFFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Appends the encoding of `codePoint`; false (nothing appended) for a
// surrogate or a value above U+10FFFF.
bool AppendUtf8(uint32_t codePoint, std::string* text);

// Reads the character at `*at` into `*codePoint` and moves `*at` past it;
// false (nothing moved) at the end or on an invalid sequence.
bool NextUtf8(const std::string& text, size_t* at, uint32_t* codePoint);

bool IsValidUtf8(const std::string& text);
