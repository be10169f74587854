// KeyedDigest: SipHash-2-4, a keyed 64-bit digest. What a trace or report
// keeps of bytes it must not carry (a smart card's commands and answers):
// two equal digests say the bytes were equal, yet without the key, which
// never leaves the process, nobody can confirm a guess of them. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

class KeyedDigest {
public:
    // The 128-bit key as two little-endian halves, as SipHash reads its 16 key bytes.
    KeyedDigest(uint64_t key0, uint64_t key1) : key0_(key0), key1_(key1) {}

    uint64_t Of(const uint8_t* bytes, size_t length) const;

private:
    uint64_t key0_, key1_;
};
