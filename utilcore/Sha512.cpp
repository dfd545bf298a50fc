#include "Sha512.h"

#include <bit>
#include <cstring>

namespace tdcrypto {
namespace {

// Square roots of the first 8 primes (initial hash value).
constexpr std::uint64_t kInitialState[8] = {
    0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
    0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL,
};

// Cube roots of the first 80 primes (round constants).
constexpr std::uint64_t kRound[80] = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL, 0x3956c25bf348b538ULL,
    0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL, 0xd807aa98a3030242ULL, 0x12835b0145706fbeULL,
    0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL, 0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL,
    0xc19bf174cf692694ULL, 0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL, 0x983e5152ee66dfabULL,
    0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL, 0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL,
    0x06ca6351e003826fULL, 0x142929670a0e6e70ULL, 0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL,
    0x53380d139d95b3dfULL, 0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL, 0xd192e819d6ef5218ULL,
    0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL, 0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL,
    0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL, 0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL,
    0x682e6ff3d6b2b8a3ULL, 0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL, 0xca273eceea26619cULL,
    0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL, 0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL,
    0x113f9804bef90daeULL, 0x1b710b35131c471bULL, 0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL,
    0x431d67c49c100d4cULL, 0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};

inline std::uint64_t Rotr(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

inline std::uint64_t LoadBe64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

inline void StoreBe64(unsigned char* p, std::uint64_t v) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
}

}  // namespace

void Sha512::Reset() {
    std::memcpy(state_, kInitialState, sizeof state_);
    bytes_ = 0;
    buffered_ = 0;
}

// The message schedule is kept as a rolling window of 16 words and the eight
// working variables rotate by renaming (the argument order of the round
// macro) instead of by copying; with constant window indexes the compiler
// keeps everything in registers.
void Sha512::Compress(const unsigned char* blocks, std::size_t count) {
    std::uint64_t s0 = state_[0], s1 = state_[1], s2 = state_[2], s3 = state_[3];
    std::uint64_t s4 = state_[4], s5 = state_[5], s6 = state_[6], s7 = state_[7];
    for (; count > 0; --count, blocks += kSha512BlockSize) {
        std::uint64_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe64(blocks + 8 * i);
        std::uint64_t a = s0, b = s1, c = s2, d = s3, e = s4, f = s5, g = s6, h = s7;

#define TD_SHA512_EXPAND(j)                                                                                   \
    (w[(j)&15] += (Rotr(w[((j) + 14) & 15], 19) ^ Rotr(w[((j) + 14) & 15], 61) ^ (w[((j) + 14) & 15] >> 6)) + \
                  w[((j) + 9) & 15] +                                                                         \
                  (Rotr(w[((j) + 1) & 15], 1) ^ Rotr(w[((j) + 1) & 15], 8) ^ (w[((j) + 1) & 15] >> 7)))
#define TD_SHA512_ROUND(a, b, c, d, e, f, g, h, j, wj)                                                    \
    do {                                                                                                  \
        std::uint64_t t1 =                                                                                \
            h + (Rotr(e, 14) ^ Rotr(e, 18) ^ Rotr(e, 41)) + (g ^ (e & (f ^ g))) + kRound[r + (j)] + (wj); \
        std::uint64_t t2 = (Rotr(a, 28) ^ Rotr(a, 34) ^ Rotr(a, 39)) + ((a & b) | (c & (a | b)));         \
        d += t1;                                                                                          \
        h = t1 + t2;                                                                                      \
    } while (0)
#define TD_SHA512_16(W)                                 \
    TD_SHA512_ROUND(a, b, c, d, e, f, g, h, 0, W(0));   \
    TD_SHA512_ROUND(h, a, b, c, d, e, f, g, 1, W(1));   \
    TD_SHA512_ROUND(g, h, a, b, c, d, e, f, 2, W(2));   \
    TD_SHA512_ROUND(f, g, h, a, b, c, d, e, 3, W(3));   \
    TD_SHA512_ROUND(e, f, g, h, a, b, c, d, 4, W(4));   \
    TD_SHA512_ROUND(d, e, f, g, h, a, b, c, 5, W(5));   \
    TD_SHA512_ROUND(c, d, e, f, g, h, a, b, 6, W(6));   \
    TD_SHA512_ROUND(b, c, d, e, f, g, h, a, 7, W(7));   \
    TD_SHA512_ROUND(a, b, c, d, e, f, g, h, 8, W(8));   \
    TD_SHA512_ROUND(h, a, b, c, d, e, f, g, 9, W(9));   \
    TD_SHA512_ROUND(g, h, a, b, c, d, e, f, 10, W(10)); \
    TD_SHA512_ROUND(f, g, h, a, b, c, d, e, 11, W(11)); \
    TD_SHA512_ROUND(e, f, g, h, a, b, c, d, 12, W(12)); \
    TD_SHA512_ROUND(d, e, f, g, h, a, b, c, 13, W(13)); \
    TD_SHA512_ROUND(c, d, e, f, g, h, a, b, 14, W(14)); \
    TD_SHA512_ROUND(b, c, d, e, f, g, h, a, 15, W(15))
#define TD_SHA512_LOADED(j) w[j]

        int r = 0;
        TD_SHA512_16(TD_SHA512_LOADED);
        for (r = 16; r < 80; r += 16) {
            TD_SHA512_16(TD_SHA512_EXPAND);
        }
#undef TD_SHA512_LOADED
#undef TD_SHA512_16
#undef TD_SHA512_ROUND
#undef TD_SHA512_EXPAND

        s0 += a;
        s1 += b;
        s2 += c;
        s3 += d;
        s4 += e;
        s5 += f;
        s6 += g;
        s7 += h;
    }
    state_[0] = s0;
    state_[1] = s1;
    state_[2] = s2;
    state_[3] = s3;
    state_[4] = s4;
    state_[5] = s5;
    state_[6] = s6;
    state_[7] = s7;
}

void Sha512::Update(const void* data, std::size_t length) {
    if (length == 0) return;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    bytes_ += length;
    if (buffered_ > 0) {
        std::size_t take = kSha512BlockSize - buffered_;
        if (take > length) take = length;
        std::memcpy(buffer_ + buffered_, p, take);
        buffered_ += take;
        p += take;
        length -= take;
        if (buffered_ < kSha512BlockSize) return;
        Compress(buffer_, 1);
        buffered_ = 0;
    }
    std::size_t whole = length / kSha512BlockSize;
    if (whole > 0) {
        Compress(p, whole);
        p += whole * kSha512BlockSize;
        length -= whole * kSha512BlockSize;
    }
    if (length > 0) {
        std::memcpy(buffer_, p, length);
        buffered_ = length;
    }
}

void Sha512::Final(unsigned char digest[kSha512DigestSize]) {
    // Padding: a 1 bit, zeros, and the message length in bits as a 128-bit
    // big-endian number (the high 64 bits carry the top 3 bits of the count).
    unsigned char tail[2 * kSha512BlockSize] = {};
    std::size_t n = buffered_;
    std::memcpy(tail, buffer_, n);
    tail[n] = 0x80;
    std::size_t total = (n + 1 + 16 <= kSha512BlockSize) ? kSha512BlockSize : 2 * kSha512BlockSize;
    StoreBe64(tail + total - 16, bytes_ >> 61);
    StoreBe64(tail + total - 8, bytes_ << 3);
    Compress(tail, total / kSha512BlockSize);
    for (int i = 0; i < 8; ++i) StoreBe64(digest + 8 * i, state_[i]);
    std::memset(tail, 0, sizeof tail);
    std::memset(buffer_, 0, sizeof buffer_);
    Reset();
}

int Sha512Digest(const unsigned char* data, std::size_t length, unsigned char* digest) {
    if (digest == nullptr || (data == nullptr && length != 0)) return kCryptoMissingArgument;
    Sha512 h;
    if (length != 0) h.Update(data, length);
    h.Final(digest);
    return kCryptoOk;
}

}  // namespace tdcrypto
