#include "platform/WideText.h"

size_t WideLength(const WideChar* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0) ++length;
    return length;
}

bool WideEqualN(const WideChar* a, const WideChar* b, size_t capacity) {
    for (size_t i = 0; i < capacity; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) return true;
    }
    return true;
}

void WideCopyTruncate(WideChar* destination, size_t capacity, const WideChar* source) {
    if (capacity == 0) return;
    for (size_t i = 0; i < capacity; ++i) destination[i] = 0;
    if (source == nullptr) return;
    for (size_t i = 0; i + 1 < capacity && source[i] != 0; ++i) destination[i] = source[i];
}
