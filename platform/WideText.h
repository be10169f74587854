// Bounded UTF-16 text helpers for the fixed-capacity name buffers.
#pragma once

#include "platform/PlatformTypes.h"

// Number of units before the terminator, never looking past `capacity` units.
size_t WideLength(const WideChar* text, size_t capacity);

// Exact (case-sensitive) comparison over at most `capacity` units, like wcsncmp.
// Returns true when both texts are equal within that span.
bool WideEqualN(const WideChar* a, const WideChar* b, size_t capacity);

// Clears `destination` (all `capacity` units) and copies at most capacity - 1
// units of `source` into it, so the result is always terminated.
void WideCopyTruncate(WideChar* destination, size_t capacity, const WideChar* source);
