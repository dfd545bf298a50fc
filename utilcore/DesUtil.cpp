#include "DesUtil.h"

#include <cstdint>

namespace {

using u64 = std::uint64_t;
using u32 = std::uint32_t;

// Bit positions count from 1 at the most significant bit, as the standard
// writes its tables.
constexpr unsigned char kInitialPerm[64] = {
    58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,  62, 54, 46, 38, 30, 22,
    14, 6,  64, 56, 48, 40, 32, 24, 16, 8,  57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35,
    27, 19, 11, 3,  61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7,
};
constexpr unsigned char kFinalPerm[64] = {
    40, 8,  48, 16, 56, 24, 64, 32, 39, 7,  47, 15, 55, 23, 63, 31, 38, 6,  46, 14, 54, 22,
    62, 30, 37, 5,  45, 13, 53, 21, 61, 29, 36, 4,  44, 12, 52, 20, 60, 28, 35, 3,  43, 11,
    51, 19, 59, 27, 34, 2,  42, 10, 50, 18, 58, 26, 33, 1,  41, 9,  49, 17, 57, 25,
};
constexpr unsigned char kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
    16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1,
};
constexpr unsigned char kRoundPerm[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25,
};
constexpr unsigned char kKeyPerm1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1, 58, 50, 42, 34, 26, 18, 10, 2, 59, 51, 43, 35, 27, 19, 11, 3, 60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22, 14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4,
};
constexpr unsigned char kKeyPerm2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};
// 0: rotate the key halves by one place in that round, 1: by two.
constexpr unsigned char kShiftTwice[16] = {0, 0, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0};

constexpr unsigned char kSBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8, 14, 6,  11, 3,  4, 9, 7, 2,  13, 12, 0, 5, 10, 3,  13, 4,  7, 15, 2,  8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0,  14, 7, 11, 10, 4,  13, 1, 5, 8, 12, 6,  9,  3, 2, 15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0, 8, 13, 3,  12, 9, 7, 5, 10, 6, 1, 13, 0,  11, 7, 4, 9, 1,  10, 14, 3, 5, 12, 2,  15, 8, 6,
     1, 4,  11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5,  9, 2, 6,  11, 13, 8, 1, 4, 10, 7,  9,  5, 0, 15, 14, 2,  3, 12},
    {13, 2,  8, 4, 6, 15, 11, 1, 10, 9, 3,  14, 5,  0, 12, 7, 1, 15, 13, 8, 10, 3,  7, 4,  12, 5,  6, 11, 0, 14, 9, 2,
     7,  11, 4, 1, 9, 12, 14, 2, 0,  6, 10, 13, 15, 3, 5,  8, 2, 1,  14, 7, 4,  10, 8, 13, 15, 12, 9, 0,  3, 5,  6, 11},
};

// Picks bits of `in` (an `inBits`-bit value) in the order of `table`.
u64 Permute(u64 in, const unsigned char* table, int outBits, int inBits) {
    u64 out = 0;
    for (int i = 0; i < outBits; ++i) out = (out << 1) | ((in >> (inBits - table[i])) & 1);
    return out;
}

struct KeySchedule {
    u64 round[16];  // 48-bit round keys
};

void MakeSchedule(KeySchedule& ks, const unsigned char* key) {
    u64 k = 0;
    for (int i = 0; i < 8; ++i) k = (k << 8) | key[i];
    const u64 cd = Permute(k, kKeyPerm1, 56, 64);
    u32 c = static_cast<u32>(cd >> 28) & 0x0fffffff;
    u32 d = static_cast<u32>(cd) & 0x0fffffff;
    for (int r = 0; r < 16; ++r) {
        const int n = kShiftTwice[r] ? 2 : 1;
        c = ((c << n) | (c >> (28 - n))) & 0x0fffffff;
        d = ((d << n) | (d >> (28 - n))) & 0x0fffffff;
        ks.round[r] = Permute((static_cast<u64>(c) << 28) | d, kKeyPerm2, 48, 56);
    }
}

u32 Feistel(u32 r, u64 roundKey) {
    const u64 x = Permute(r, kExpansion, 48, 32) ^ roundKey;
    u32 s = 0;
    for (int box = 0; box < 8; ++box) {
        const unsigned b = static_cast<unsigned>(x >> (42 - 6 * box)) & 0x3f;
        const unsigned row = ((b >> 4) & 2) | (b & 1);
        const unsigned col = (b >> 1) & 15;
        s = (s << 4) | kSBox[box][row * 16 + col];
    }
    return static_cast<u32>(Permute(s, kRoundPerm, 32, 32));
}

u64 Crypt(u64 block, const KeySchedule& ks, bool decrypt) {
    const u64 ip = Permute(block, kInitialPerm, 64, 64);
    u32 l = static_cast<u32>(ip >> 32), r = static_cast<u32>(ip);
    for (int i = 0; i < 16; ++i) {
        const u32 next = l ^ Feistel(r, ks.round[decrypt ? 15 - i : i]);
        l = r;
        r = next;
    }
    return Permute((static_cast<u64>(r) << 32) | l, kFinalPerm, 64, 64);
}

u64 LoadBlock(const unsigned char* p) {
    u64 v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

void StoreBlock(unsigned char* p, u64 v) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
}

void Single(const unsigned char* in, unsigned char* out, const unsigned char* key, bool decrypt) {
    if (in == nullptr || out == nullptr || key == nullptr) return;
    KeySchedule ks;
    MakeSchedule(ks, key);
    StoreBlock(out, Crypt(LoadBlock(in), ks, decrypt));
}

void Triple(const unsigned char* in, unsigned char* out, const unsigned char* key, unsigned short length,
            bool decrypt) {
    if (in == nullptr || out == nullptr || key == nullptr) return;
    KeySchedule k1, k2;
    MakeSchedule(k1, key);
    MakeSchedule(k2, key + 8);
    const unsigned blocks = length / 8u;
    for (unsigned i = 0; i < blocks; ++i) {
        u64 v = LoadBlock(in + 8 * i);
        v = Crypt(v, k1, decrypt);
        v = Crypt(v, k2, !decrypt);
        v = Crypt(v, k1, decrypt);
        StoreBlock(out + 8 * i, v);
    }
}

}  // namespace

void Des(const unsigned char* in, unsigned char* out, const unsigned char* key) { Single(in, out, key, false); }

void UnDes(const unsigned char* in, unsigned char* out, const unsigned char* key) { Single(in, out, key, true); }

void Des3(const unsigned char* in, unsigned char* out, const unsigned char* key, unsigned short length) {
    Triple(in, out, key, length, false);
}

void UnDes3(const unsigned char* in, unsigned char* out, const unsigned char* key, unsigned short length) {
    Triple(in, out, key, length, true);
}
