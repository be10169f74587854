#include "platform/KeyedDigest.h"

namespace {

uint64_t RotateLeft(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

struct SipState {
    uint64_t V0, V1, V2, V3;

    void Round() {
        V0 += V1;
        V1 = RotateLeft(V1, 13) ^ V0;
        V0 = RotateLeft(V0, 32);
        V2 += V3;
        V3 = RotateLeft(V3, 16) ^ V2;
        V0 += V3;
        V3 = RotateLeft(V3, 21) ^ V0;
        V2 += V1;
        V1 = RotateLeft(V1, 17) ^ V2;
        V2 = RotateLeft(V2, 32);
    }
    void Absorb(uint64_t word) {
        V3 ^= word;
        Round();
        Round();
        V0 ^= word;
    }
};

uint64_t LittleEndianWord(const uint8_t* bytes, size_t count) {
    uint64_t word = 0;
    for (size_t i = 0; i < count; ++i) word |= uint64_t{bytes[i]} << (8 * i);
    return word;
}

}  // namespace

uint64_t KeyedDigest::Of(const uint8_t* bytes, size_t length) const {
    SipState state{key0_ ^ 0x736f6d6570736575ull, key1_ ^ 0x646f72616e646f6dull,
                   key0_ ^ 0x6c7967656e657261ull, key1_ ^ 0x7465646279746573ull};
    const size_t whole = length - length % 8;
    for (size_t at = 0; at < whole; at += 8) state.Absorb(LittleEndianWord(bytes + at, 8));
    // The last word: the bytes left over and the length's low byte on top.
    state.Absorb(LittleEndianWord(bytes + whole, length - whole) | (uint64_t{length & 0xFF} << 56));
    state.V2 ^= 0xFF;
    for (int round = 0; round < 4; ++round) state.Round();
    return state.V0 ^ state.V1 ^ state.V2 ^ state.V3;
}
