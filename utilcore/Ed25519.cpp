#include "Ed25519.h"

#include <cstdint>
#include <cstring>

// Field elements mod p = 2^255 - 19 are five 51-bit limbs with 128-bit
// products; points use extended twisted Edwards coordinates (a = -1). Signing
// multiplies the base point with a constant-time fixed window over a table
// built once per process; verification uses a variable-time double
// multiplication with width-5 signed windows, since everything it handles is
// public.

namespace tdcrypto {

void SecureZero(void* p, std::size_t n) {
    volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
    while (n-- > 0) *v++ = 0;
}

namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

constexpr u64 kMask51 = (u64(1) << 51) - 1;

struct Fe {
    u64 v[5];
};

constexpr Fe kFeZero = {{0, 0, 0, 0, 0}};
constexpr Fe kFeOne = {{1, 0, 0, 0, 0}};
constexpr Fe kFeD = {
    {0x34dca135978a3ULL, 0x1a8283b156ebdULL, 0x5e7a26001c029ULL, 0x739c663a03cbbULL, 0x52036cee2b6ffULL}};
constexpr Fe kFeD2 = {
    {0x69b9426b2f159ULL, 0x35050762add7aULL, 0x3cf44c0038052ULL, 0x6738cc7407977ULL, 0x2406d9dc56dffULL}};
constexpr Fe kFeSqrtM1 = {
    {0x61b274a0ea0b0ULL, 0x0d5a5fc8f189dULL, 0x7ef5e9cbd0c60ULL, 0x78595a6804c9eULL, 0x2b8324804fc1dULL}};
constexpr Fe kBaseX = {
    {0x62d608f25d51aULL, 0x412a4b4f6592aULL, 0x75b7171a4b31dULL, 0x1ff60527118feULL, 0x216936d3cd6e5ULL}};
constexpr Fe kBaseY = {
    {0x6666666666658ULL, 0x4ccccccccccccULL, 0x1999999999999ULL, 0x3333333333333ULL, 0x6666666666666ULL}};

// Limb bounds: Mul/Sq/Sub/Carry leave every limb below 2^52; Add of two such
// values stays below 2^53, which Mul, Sq and Sub (4p bias) all accept.

inline void FeCarry(Fe& h) {
    u64 c;
    c = h.v[0] >> 51;
    h.v[0] &= kMask51;
    h.v[1] += c;
    c = h.v[1] >> 51;
    h.v[1] &= kMask51;
    h.v[2] += c;
    c = h.v[2] >> 51;
    h.v[2] &= kMask51;
    h.v[3] += c;
    c = h.v[3] >> 51;
    h.v[3] &= kMask51;
    h.v[4] += c;
    c = h.v[4] >> 51;
    h.v[4] &= kMask51;
    h.v[0] += 19 * c;
}

inline void FeAdd(Fe& h, const Fe& f, const Fe& g) {
    for (int i = 0; i < 5; ++i) h.v[i] = f.v[i] + g.v[i];
}

// f - g + 4p, then carried.
inline void FeSub(Fe& h, const Fe& f, const Fe& g) {
    h.v[0] = (f.v[0] + 0x1fffffffffffb4ULL) - g.v[0];
    h.v[1] = (f.v[1] + 0x1ffffffffffffcULL) - g.v[1];
    h.v[2] = (f.v[2] + 0x1ffffffffffffcULL) - g.v[2];
    h.v[3] = (f.v[3] + 0x1ffffffffffffcULL) - g.v[3];
    h.v[4] = (f.v[4] + 0x1ffffffffffffcULL) - g.v[4];
    FeCarry(h);
}

inline void FeNeg(Fe& h, const Fe& f) { FeSub(h, kFeZero, f); }

inline void FeReduceWide(Fe& h, u128 r0, u128 r1, u128 r2, u128 r3, u128 r4) {
    r1 += r0 >> 51;
    u64 h0 = static_cast<u64>(r0) & kMask51;
    r2 += r1 >> 51;
    u64 h1 = static_cast<u64>(r1) & kMask51;
    r3 += r2 >> 51;
    u64 h2 = static_cast<u64>(r2) & kMask51;
    r4 += r3 >> 51;
    u64 h3 = static_cast<u64>(r3) & kMask51;
    u128 c = r4 >> 51;
    u64 h4 = static_cast<u64>(r4) & kMask51;
    u128 t = c * 19 + h0;
    h0 = static_cast<u64>(t) & kMask51;
    h1 += static_cast<u64>(t >> 51);
    h.v[0] = h0;
    h.v[1] = h1;
    h.v[2] = h2;
    h.v[3] = h3;
    h.v[4] = h4;
}

inline void FeMul(Fe& h, const Fe& f, const Fe& g) {
    const u64 f0 = f.v[0], f1 = f.v[1], f2 = f.v[2], f3 = f.v[3], f4 = f.v[4];
    const u64 g0 = g.v[0], g1 = g.v[1], g2 = g.v[2], g3 = g.v[3], g4 = g.v[4];
    const u64 g1_19 = 19 * g1, g2_19 = 19 * g2, g3_19 = 19 * g3, g4_19 = 19 * g4;
    u128 r0 = (u128)f0 * g0 + (u128)f1 * g4_19 + (u128)f2 * g3_19 + (u128)f3 * g2_19 + (u128)f4 * g1_19;
    u128 r1 = (u128)f0 * g1 + (u128)f1 * g0 + (u128)f2 * g4_19 + (u128)f3 * g3_19 + (u128)f4 * g2_19;
    u128 r2 = (u128)f0 * g2 + (u128)f1 * g1 + (u128)f2 * g0 + (u128)f3 * g4_19 + (u128)f4 * g3_19;
    u128 r3 = (u128)f0 * g3 + (u128)f1 * g2 + (u128)f2 * g1 + (u128)f3 * g0 + (u128)f4 * g4_19;
    u128 r4 = (u128)f0 * g4 + (u128)f1 * g3 + (u128)f2 * g2 + (u128)f3 * g1 + (u128)f4 * g0;
    FeReduceWide(h, r0, r1, r2, r3, r4);
}

inline void FeSq(Fe& h, const Fe& f) {
    const u64 f0 = f.v[0], f1 = f.v[1], f2 = f.v[2], f3 = f.v[3], f4 = f.v[4];
    const u64 f0_2 = 2 * f0, f1_2 = 2 * f1;
    const u64 f1_38 = 38 * f1, f2_38 = 38 * f2, f3_38 = 38 * f3, f3_19 = 19 * f3, f4_19 = 19 * f4;
    u128 r0 = (u128)f0 * f0 + (u128)f1_38 * f4 + (u128)f2_38 * f3;
    u128 r1 = (u128)f0_2 * f1 + (u128)f2_38 * f4 + (u128)f3_19 * f3;
    u128 r2 = (u128)f0_2 * f2 + (u128)f1 * f1 + (u128)f3_38 * f4;
    u128 r3 = (u128)f0_2 * f3 + (u128)f1_2 * f2 + (u128)f4_19 * f4;
    u128 r4 = (u128)f0_2 * f4 + (u128)f1_2 * f3 + (u128)f2 * f2;
    FeReduceWide(h, r0, r1, r2, r3, r4);
}

inline void FeSqN(Fe& h, const Fe& f, int n) {
    FeSq(h, f);
    for (int i = 1; i < n; ++i) FeSq(h, h);
}

u64 Load64Le(const unsigned char* p) {
    u64 v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void Store64Le(unsigned char* p, u64 v) {
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
}

// Bit 255 is ignored, as the encoding demands.
void FeFromBytes(Fe& h, const unsigned char* s) {
    h.v[0] = Load64Le(s) & kMask51;
    h.v[1] = (Load64Le(s + 6) >> 3) & kMask51;
    h.v[2] = (Load64Le(s + 12) >> 6) & kMask51;
    h.v[3] = (Load64Le(s + 19) >> 1) & kMask51;
    h.v[4] = (Load64Le(s + 24) >> 12) & kMask51;
}

// Canonical little-endian encoding (the value fully reduced below p).
void FeToBytes(unsigned char* s, const Fe& f) {
    Fe h = f;
    FeCarry(h);
    // q = 1 exactly when h >= p: the carry out of bit 255 of h + 19.
    u64 q = (h.v[0] + 19) >> 51;
    q = (h.v[1] + q) >> 51;
    q = (h.v[2] + q) >> 51;
    q = (h.v[3] + q) >> 51;
    q = (h.v[4] + q) >> 51;
    h.v[0] += 19 * q;
    u64 c;
    c = h.v[0] >> 51;
    h.v[0] &= kMask51;
    h.v[1] += c;
    c = h.v[1] >> 51;
    h.v[1] &= kMask51;
    h.v[2] += c;
    c = h.v[2] >> 51;
    h.v[2] &= kMask51;
    h.v[3] += c;
    c = h.v[3] >> 51;
    h.v[3] &= kMask51;
    h.v[4] += c;
    h.v[4] &= kMask51;  // drops 2^255 when q was 1
    Store64Le(s, h.v[0] | (h.v[1] << 51));
    Store64Le(s + 8, (h.v[1] >> 13) | (h.v[2] << 38));
    Store64Le(s + 16, (h.v[2] >> 26) | (h.v[3] << 25));
    Store64Le(s + 24, (h.v[3] >> 39) | (h.v[4] << 12));
}

bool FeIsNegative(const Fe& f) {
    unsigned char s[32];
    FeToBytes(s, f);
    return (s[0] & 1) != 0;
}

bool FeIsZero(const Fe& f) {
    unsigned char s[32];
    FeToBytes(s, f);
    unsigned char acc = 0;
    for (unsigned char b : s) acc |= b;
    return acc == 0;
}

// Constant-time: f = g when flag is 1, unchanged when 0.
inline void FeCMov(Fe& f, const Fe& g, u64 flag) {
    const u64 mask = 0 - flag;
    for (int i = 0; i < 5; ++i) f.v[i] ^= mask & (f.v[i] ^ g.v[i]);
}

// z^(2^250 - 1) and z^11, shared by inversion and the square root exponent.
void FePow2501(Fe& z2501, Fe& z11, const Fe& z) {
    Fe z2, z9, t, z2_5_0, z2_10_0, z2_20_0, z2_50_0, z2_100_0;
    FeSq(z2, z);
    FeSqN(t, z2, 2);
    FeMul(z9, t, z);
    FeMul(z11, z9, z2);
    FeSq(t, z11);
    FeMul(z2_5_0, t, z9);
    FeSqN(t, z2_5_0, 5);
    FeMul(z2_10_0, t, z2_5_0);
    FeSqN(t, z2_10_0, 10);
    FeMul(z2_20_0, t, z2_10_0);
    FeSqN(t, z2_20_0, 20);
    FeMul(t, t, z2_20_0);
    FeSqN(t, t, 10);
    FeMul(z2_50_0, t, z2_10_0);
    FeSqN(t, z2_50_0, 50);
    FeMul(z2_100_0, t, z2_50_0);
    FeSqN(t, z2_100_0, 100);
    FeMul(t, t, z2_100_0);
    FeSqN(t, t, 50);
    FeMul(z2501, t, z2_50_0);
}

// z^(p - 2) = z^(2^255 - 21).
void FeInvert(Fe& out, const Fe& z) {
    Fe t, z11;
    FePow2501(t, z11, z);
    FeSqN(t, t, 5);
    FeMul(out, t, z11);
}

// z^((p - 5) / 8) = z^(2^252 - 3).
void FePow22523(Fe& out, const Fe& z) {
    Fe t, z11;
    FePow2501(t, z11, z);
    FeSqN(t, t, 2);
    FeMul(out, t, z);
}

// ---- Points ---------------------------------------------------------------

struct Ext {  // x = X/Z, y = Y/Z, x*y = T/Z
    Fe X, Y, Z, T;
};
struct Proj {  // x = X/Z, y = Y/Z
    Fe X, Y, Z;
};
struct Completed {  // x = X/Z, y = Y/T
    Fe X, Y, Z, T;
};
struct Cached {  // an extended point prepared for additions
    Fe YplusX, YminusX, Z, T2d;
};
struct Affine {  // Z = 1, prepared for additions
    Fe yplusx, yminusx, xy2d;
};

void ExtIdentity(Ext& p) {
    p.X = kFeZero;
    p.Y = kFeOne;
    p.Z = kFeOne;
    p.T = kFeZero;
}

void ProjIdentity(Proj& p) {
    p.X = kFeZero;
    p.Y = kFeOne;
    p.Z = kFeOne;
}

void AffineIdentity(Affine& p) {
    p.yplusx = kFeOne;
    p.yminusx = kFeOne;
    p.xy2d = kFeZero;
}

inline void ToProj(Proj& r, const Completed& p) {
    FeMul(r.X, p.X, p.T);
    FeMul(r.Y, p.Y, p.Z);
    FeMul(r.Z, p.Z, p.T);
}

inline void ToExt(Ext& r, const Completed& p) {
    FeMul(r.X, p.X, p.T);
    FeMul(r.Y, p.Y, p.Z);
    FeMul(r.Z, p.Z, p.T);
    FeMul(r.T, p.X, p.Y);
}

inline void ToCached(Cached& r, const Ext& p) {
    FeAdd(r.YplusX, p.Y, p.X);
    FeSub(r.YminusX, p.Y, p.X);
    r.Z = p.Z;
    FeMul(r.T2d, p.T, kFeD2);
}

inline void ExtToProj(Proj& r, const Ext& p) {
    r.X = p.X;
    r.Y = p.Y;
    r.Z = p.Z;
}

// 2p, for a = -1: x3 = 2xy / (y^2 - x^2), y3 = (y^2 + x^2) / (2 - y^2 + x^2).
inline void Dbl(Completed& r, const Proj& p) {
    Fe xx, yy, zz2, s, ss;
    FeSq(xx, p.X);
    FeSq(yy, p.Y);
    FeSq(zz2, p.Z);
    FeAdd(zz2, zz2, zz2);
    FeAdd(s, p.X, p.Y);
    FeSq(ss, s);
    FeAdd(r.Y, yy, xx);
    FeSub(r.Z, yy, xx);
    FeSub(r.X, ss, r.Y);
    FeSub(r.T, zz2, r.Z);
}

// p + q (sign = +1) or p - q (sign = -1, by swapping the roles of y+x and y-x
// and negating the T term).
inline void AddCached(Completed& r, const Ext& p, const Cached& q, bool subtract) {
    Fe a, b, c, d;
    FeAdd(r.X, p.Y, p.X);
    FeSub(r.Y, p.Y, p.X);
    FeMul(b, r.X, subtract ? q.YminusX : q.YplusX);
    FeMul(a, r.Y, subtract ? q.YplusX : q.YminusX);
    FeMul(c, p.T, q.T2d);
    FeMul(d, p.Z, q.Z);
    FeAdd(d, d, d);
    FeSub(r.X, b, a);
    FeAdd(r.Y, b, a);
    if (subtract) {
        FeSub(r.Z, d, c);
        FeAdd(r.T, d, c);
    } else {
        FeAdd(r.Z, d, c);
        FeSub(r.T, d, c);
    }
}

inline void AddAffine(Completed& r, const Ext& p, const Affine& q, bool subtract) {
    Fe a, b, c, d;
    FeAdd(r.X, p.Y, p.X);
    FeSub(r.Y, p.Y, p.X);
    FeMul(b, r.X, subtract ? q.yminusx : q.yplusx);
    FeMul(a, r.Y, subtract ? q.yplusx : q.yminusx);
    FeMul(c, p.T, q.xy2d);
    FeAdd(d, p.Z, p.Z);
    FeSub(r.X, b, a);
    FeAdd(r.Y, b, a);
    if (subtract) {
        FeSub(r.Z, d, c);
        FeAdd(r.T, d, c);
    } else {
        FeAdd(r.Z, d, c);
        FeSub(r.T, d, c);
    }
}

void EncodePoint(unsigned char* s, const Proj& p) {
    Fe zi, x, y;
    FeInvert(zi, p.Z);
    FeMul(x, p.X, zi);
    FeMul(y, p.Y, zi);
    FeToBytes(s, y);
    s[31] ^= static_cast<unsigned char>(FeIsNegative(x) ? 0x80 : 0);
}

void ToAffine(Affine& r, const Ext& p) {
    Fe zi, x, y, xy;
    FeInvert(zi, p.Z);
    FeMul(x, p.X, zi);
    FeMul(y, p.Y, zi);
    FeAdd(r.yplusx, y, x);
    FeSub(r.yminusx, y, x);
    FeMul(xy, x, y);
    FeMul(r.xy2d, xy, kFeD2);
    FeCarry(r.yplusx);
}

// RFC 8032 5.1.3. Refuses y >= p, points off the curve, and x = 0 with the
// sign bit set, so every accepted point has exactly one encoding.
bool DecodePoint(Ext& p, const unsigned char* s) {
    // y < p: the 255-bit value must not lie in [2^255 - 19, 2^255).
    {
        bool allOnes = (s[31] & 0x7f) == 0x7f;
        for (int i = 30; i >= 1 && allOnes; --i) allOnes = s[i] == 0xff;
        if (allOnes && s[0] >= 0xed) return false;
    }
    const bool sign = (s[31] & 0x80) != 0;
    Fe y, u, v, v3, x, vxx, check;
    FeFromBytes(y, s);
    FeSq(u, y);
    FeMul(v, u, kFeD);
    FeSub(u, u, kFeOne);  // u = y^2 - 1
    FeAdd(v, v, kFeOne);  // v = d y^2 + 1
    FeCarry(v);
    FeSq(v3, v);
    FeMul(v3, v3, v);  // v^3
    FeSq(x, v3);
    FeMul(x, x, v);
    FeMul(x, x, u);  // u v^7
    FePow22523(x, x);
    FeMul(x, x, v3);
    FeMul(x, x, u);  // x = u v^3 (u v^7)^((p-5)/8)
    FeSq(vxx, x);
    FeMul(vxx, vxx, v);
    FeSub(check, vxx, u);
    if (!FeIsZero(check)) {
        FeAdd(check, vxx, u);
        FeCarry(check);
        if (!FeIsZero(check)) return false;
        FeMul(x, x, kFeSqrtM1);
    }
    if (FeIsZero(x) && sign) return false;
    if (FeIsNegative(x) != sign) FeNeg(x, x);
    p.X = x;
    p.Y = y;
    p.Z = kFeOne;
    FeMul(p.T, x, y);
    return true;
}

// ---- Scalars mod L = 2^252 + 27742317777372353535851937790883648493 ------

constexpr u64 kL[4] = {0x5812631a5cf5d3edULL, 0x14def9dea2f79cd6ULL, 0, 0x1000000000000000ULL};
// floor(2^512 / L), for Barrett reduction with 64-bit digits.
constexpr u64 kMu[5] = {0xed9ce5a30a2c131bULL, 0x2106215d086329a7ULL, 0xffffffffffffffebULL, 0xffffffffffffffffULL,
                        0x000000000000000fULL};

// r = r - L when r >= L (r has 5 digits, r < 2^320), without branches.
void CondSubL(u64 r[5]) {
    u64 t[5];
    u64 borrow = 0;
    for (int i = 0; i < 5; ++i) {
        u128 li = (i < 4 ? kL[i] : 0);
        u128 d = static_cast<u128>(r[i]) - li - borrow;
        t[i] = static_cast<u64>(d);
        borrow = static_cast<u64>(d >> 64) & 1;
    }
    const u64 keep = 0 - borrow;  // all ones when r < L
    for (int i = 0; i < 5; ++i) r[i] = (r[i] & keep) | (t[i] & ~keep);
}

// x (8 digits, x < 2^512) mod L into 32 bytes.
void BarrettReduce(const u64 x[8], unsigned char* out) {
    // q3 = floor(floor(x / b^3) * mu / b^5)
    u64 q2[10] = {};
    for (int i = 0; i < 5; ++i) {
        u64 carry = 0;
        for (int j = 0; j < 5; ++j) {
            u128 t = static_cast<u128>(x[3 + i]) * kMu[j] + q2[i + j] + carry;
            q2[i + j] = static_cast<u64>(t);
            carry = static_cast<u64>(t >> 64);
        }
        q2[i + 5] = carry;
    }
    const u64* q3 = q2 + 5;
    // r2 = (q3 * L) mod b^5
    u64 r2[5] = {};
    for (int i = 0; i < 5; ++i) {
        u64 carry = 0;
        for (int j = 0; j < 4 && i + j < 5; ++j) {
            u128 t = static_cast<u128>(q3[i]) * kL[j] + r2[i + j] + carry;
            r2[i + j] = static_cast<u64>(t);
            carry = static_cast<u64>(t >> 64);
        }
        if (i + 4 < 5) r2[i + 4] += carry;
    }
    // r = (x mod b^5) - r2 mod b^5; the true value is below 3L.
    u64 r[5];
    u64 borrow = 0;
    for (int i = 0; i < 5; ++i) {
        u128 d = static_cast<u128>(x[i]) - r2[i] - borrow;
        r[i] = static_cast<u64>(d);
        borrow = static_cast<u64>(d >> 64) & 1;
    }
    CondSubL(r);
    CondSubL(r);
    for (int i = 0; i < 4; ++i) Store64Le(out + 8 * i, r[i]);
    SecureZero(q2, sizeof q2);
    SecureZero(r, sizeof r);
}

void ReduceScalar64(const unsigned char* in64, unsigned char* out32) {
    u64 x[8];
    for (int i = 0; i < 8; ++i) x[i] = Load64Le(in64 + 8 * i);
    BarrettReduce(x, out32);
    SecureZero(x, sizeof x);
}

// s = (a * b + c) mod L; a, b, c are 32-byte little-endian numbers.
void ScalarMulAdd(unsigned char* s, const unsigned char* a, const unsigned char* b, const unsigned char* c) {
    u64 av[4], bv[4], x[8] = {};
    for (int i = 0; i < 4; ++i) {
        av[i] = Load64Le(a + 8 * i);
        bv[i] = Load64Le(b + 8 * i);
    }
    for (int i = 0; i < 4; ++i) {
        u64 carry = 0;
        for (int j = 0; j < 4; ++j) {
            u128 t = static_cast<u128>(av[i]) * bv[j] + x[i + j] + carry;
            x[i + j] = static_cast<u64>(t);
            carry = static_cast<u64>(t >> 64);
        }
        x[i + 4] = carry;
    }
    // a < 2^253 (reduced) and b < 2^255 (clamped), so adding c cannot pass 2^512.
    u64 carry = 0;
    for (int i = 0; i < 8; ++i) {
        u128 t = static_cast<u128>(x[i]) + (i < 4 ? Load64Le(c + 8 * i) : 0) + carry;
        x[i] = static_cast<u64>(t);
        carry = static_cast<u64>(t >> 64);
    }
    BarrettReduce(x, s);
    SecureZero(av, sizeof av);
    SecureZero(bv, sizeof bv);
    SecureZero(x, sizeof x);
}

bool IsCanonicalScalar(const unsigned char* s) {
    for (int i = 3; i >= 0; --i) {
        u64 v = Load64Le(s + 8 * i);
        if (v < kL[i]) return true;
        if (v > kL[i]) return false;
    }
    return false;  // equal to L
}

// ---- Base point tables ----------------------------------------------------

struct BaseTables {
    // comb[i][j] = (j + 1) * 256^i * B, for the constant-time fixed window.
    Affine comb[32][8];
    // odd[j] = (2j + 1) * B, for the variable-time double multiplication.
    Affine odd[8];
};

void BaseExt(Ext& b) {
    b.X = kBaseX;
    b.Y = kBaseY;
    b.Z = kFeOne;
    FeMul(b.T, kBaseX, kBaseY);
}

void AddExt(Ext& r, const Ext& p, const Ext& q) {
    Cached c;
    Completed t;
    ToCached(c, q);
    AddCached(t, p, c, false);
    ToExt(r, t);
}

void DblExt(Ext& r, const Ext& p) {
    Proj pp;
    Completed t;
    ExtToProj(pp, p);
    Dbl(t, pp);
    ToExt(r, t);
}

BaseTables BuildBaseTables() {
    BaseTables tables;
    Ext base;
    BaseExt(base);
    Ext row = base;  // 256^i * B
    for (int i = 0; i < 32; ++i) {
        Ext m = row;
        for (int j = 0; j < 8; ++j) {
            ToAffine(tables.comb[i][j], m);
            AddExt(m, m, row);
        }
        for (int k = 0; k < 8; ++k) DblExt(row, row);
    }
    Ext b2, m = base;
    DblExt(b2, base);
    for (int j = 0; j < 8; ++j) {
        ToAffine(tables.odd[j], m);
        AddExt(m, m, b2);
    }
    return tables;
}

const BaseTables& Tables() {
    static const BaseTables tables = BuildBaseTables();
    return tables;
}

// Constant-time pick of digit * row (digit in [-8, 8]) from one comb row.
void SelectComb(Affine& t, int row, int digit) {
    const Affine* entries = Tables().comb[row];
    const u64 negative = static_cast<u64>(static_cast<unsigned>(digit) >> 31);
    const u64 magnitude = static_cast<u64>(digit < 0 ? -digit : digit);
    AffineIdentity(t);
    for (u64 j = 0; j < 8; ++j) {
        const u64 diff = magnitude ^ (j + 1);
        const u64 eq = ((diff - 1) >> 63) & 1;  // 1 when diff == 0
        FeCMov(t.yplusx, entries[j].yplusx, eq);
        FeCMov(t.yminusx, entries[j].yminusx, eq);
        FeCMov(t.xy2d, entries[j].xy2d, eq);
    }
    Affine neg;
    neg.yplusx = t.yminusx;
    neg.yminusx = t.yplusx;
    FeNeg(neg.xy2d, t.xy2d);
    FeCMov(t.yplusx, neg.yplusx, negative);
    FeCMov(t.yminusx, neg.yminusx, negative);
    FeCMov(t.xy2d, neg.xy2d, negative);
}

// a * B for a secret 32-byte scalar a (a[31] <= 127), in constant time:
// signed radix-16 digits, odd positions first, then times 16, then the even ones.
void ScalarMultBase(Ext& h, const unsigned char* a) {
    signed char e[64];
    for (int i = 0; i < 32; ++i) {
        e[2 * i] = static_cast<signed char>(a[i] & 15);
        e[2 * i + 1] = static_cast<signed char>((a[i] >> 4) & 15);
    }
    signed char carry = 0;
    for (int i = 0; i < 63; ++i) {
        e[i] = static_cast<signed char>(e[i] + carry);
        carry = static_cast<signed char>((e[i] + 8) >> 4);
        e[i] = static_cast<signed char>(e[i] - carry * 16);
    }
    e[63] = static_cast<signed char>(e[63] + carry);

    Affine t;
    Completed r;
    ExtIdentity(h);
    for (int i = 1; i < 64; i += 2) {
        SelectComb(t, i / 2, e[i]);
        AddAffine(r, h, t, false);
        ToExt(h, r);
    }
    Proj p;
    ExtToProj(p, h);
    for (int k = 0; k < 3; ++k) {
        Dbl(r, p);
        ToProj(p, r);
    }
    Dbl(r, p);
    ToExt(h, r);
    for (int i = 0; i < 64; i += 2) {
        SelectComb(t, i / 2, e[i]);
        AddAffine(r, h, t, false);
        ToExt(h, r);
    }
    SecureZero(e, sizeof e);
}

// Width-5 signed digits of a 256-bit scalar: every nonzero digit is odd and
// in [-15, 15], and any two nonzero digits are at least 5 places apart.
int SignedWindows(signed char naf[257], const unsigned char* s) {
    u64 k[5] = {};
    for (int i = 0; i < 4; ++i) k[i] = Load64Le(s + 8 * i);
    std::memset(naf, 0, 257);
    int top = -1;
    for (int i = 0; i < 257; ++i) {
        if ((k[0] | k[1] | k[2] | k[3] | k[4]) == 0) break;
        if (k[0] & 1) {
            int d = static_cast<int>(k[0] & 31);
            if (d >= 16) d -= 32;
            naf[i] = static_cast<signed char>(d);
            top = i;
            // k -= d
            if (d > 0) {
                u64 borrow = static_cast<u64>(d);
                for (int w = 0; w < 5 && borrow; ++w) {
                    u64 old = k[w];
                    k[w] -= borrow;
                    borrow = old < borrow ? 1 : 0;
                }
            } else {
                u64 carry = static_cast<u64>(-d);
                for (int w = 0; w < 5 && carry; ++w) {
                    k[w] += carry;
                    carry = k[w] < carry ? 1 : 0;
                }
            }
        }
        for (int w = 0; w < 4; ++w) k[w] = (k[w] >> 1) | (k[w + 1] << 63);
        k[4] >>= 1;
    }
    return top;
}

// a * A + b * B in variable time (public inputs only).
void DoubleScalarMultVartime(Proj& r, const unsigned char* a, const Ext& A, const unsigned char* b) {
    signed char aw[257], bw[257];
    const int atop = SignedWindows(aw, a);
    const int btop = SignedWindows(bw, b);
    int top = atop > btop ? atop : btop;

    Cached oddA[8];  // (2j + 1) * A
    {
        Ext a2, m = A;
        DblExt(a2, A);
        for (int j = 0; j < 8; ++j) {
            ToCached(oddA[j], m);
            if (j < 7) AddExt(m, m, a2);
        }
    }
    const Affine* oddB = Tables().odd;

    ProjIdentity(r);
    Completed t;
    Ext u;
    for (int i = top; i >= 0; --i) {
        Dbl(t, r);
        if (aw[i] != 0) {
            ToExt(u, t);
            if (aw[i] > 0)
                AddCached(t, u, oddA[aw[i] / 2], false);
            else
                AddCached(t, u, oddA[(-aw[i]) / 2], true);
        }
        if (bw[i] != 0) {
            ToExt(u, t);
            if (bw[i] > 0)
                AddAffine(t, u, oddB[bw[i] / 2], false);
            else
                AddAffine(t, u, oddB[(-bw[i]) / 2], true);
        }
        ToProj(r, t);
    }
}

// ---- The scheme -----------------------------------------------------------

constexpr char kDomPrefix[] = "SigEd25519 no Ed25519 collisions";

// The hash prefix of the variants: nothing for pure Ed25519, dom2(phflag, ctx)
// for Ed25519ctx and Ed25519ph.
struct Domain {
    bool present = false;
    unsigned char phflag = 0;
    const unsigned char* context = nullptr;
    std::size_t contextLength = 0;

    void Feed(Sha512& h) const {
        if (!present) return;
        h.Update(kDomPrefix, sizeof kDomPrefix - 1);
        const unsigned char tail[2] = {phflag, static_cast<unsigned char>(contextLength)};
        h.Update(tail, 2);
        if (contextLength > 0) h.Update(context, contextLength);
    }
};

void ExpandSeed(const unsigned char* seed, unsigned char az[64]) {
    Sha512Digest(seed, 32, az);
    az[0] &= 248;
    az[31] &= 127;
    az[31] |= 64;
}

void PublicFromExpanded(const unsigned char* az, unsigned char* pub) {
    Ext A;
    Proj p;
    ScalarMultBase(A, az);
    ExtToProj(p, A);
    EncodePoint(pub, p);
}

int SignCore(unsigned char* sig, const unsigned char* m, std::size_t mlen, const Domain& dom, const unsigned char* seed,
             const unsigned char* publicKey) {
    unsigned char az[64], pub[32], nonce[64], r[32], hram[64], k[32];
    ExpandSeed(seed, az);
    if (publicKey != nullptr)
        std::memcpy(pub, publicKey, 32);
    else
        PublicFromExpanded(az, pub);

    Sha512 h;
    dom.Feed(h);
    h.Update(az + 32, 32);
    h.Update(m, mlen);
    h.Final(nonce);
    ReduceScalar64(nonce, r);

    Ext R;
    Proj rp;
    ScalarMultBase(R, r);
    ExtToProj(rp, R);
    EncodePoint(sig, rp);

    dom.Feed(h);
    h.Update(sig, 32);
    h.Update(pub, 32);
    h.Update(m, mlen);
    h.Final(hram);
    ReduceScalar64(hram, k);
    ScalarMulAdd(sig + 32, k, az, r);

    SecureZero(az, sizeof az);
    SecureZero(nonce, sizeof nonce);
    SecureZero(r, sizeof r);
    return kCryptoOk;
}

int VerifyCore(const unsigned char* sig, const unsigned char* m, std::size_t mlen, const Domain& dom,
               const unsigned char* publicKey) {
    // S must be below the group order, or (R, S + L) would be a second valid
    // signature for the same message.
    if (!IsCanonicalScalar(sig + 32)) return kCryptoBadSignature;
    Ext A;
    if (!DecodePoint(A, publicKey)) return kCryptoBadSignature;
    FeNeg(A.X, A.X);
    FeNeg(A.T, A.T);

    unsigned char hram[64], k[32];
    Sha512 h;
    dom.Feed(h);
    h.Update(sig, 32);
    h.Update(publicKey, 32);
    h.Update(m, mlen);
    h.Final(hram);
    ReduceScalar64(hram, k);

    // R' = S B - k A. Comparing encodings also refuses an R that does not
    // decode or is encoded non-canonically: R' always encodes canonically.
    Proj rp;
    DoubleScalarMultVartime(rp, k, A, sig + 32);
    unsigned char check[32];
    EncodePoint(check, rp);
    unsigned char diff = 0;
    for (int i = 0; i < 32; ++i) diff |= static_cast<unsigned char>(check[i] ^ sig[i]);
    return diff == 0 ? kCryptoOk : kCryptoBadSignature;
}

bool MessageMissing(const unsigned char* m, std::size_t mlen) { return m == nullptr && mlen != 0; }

const unsigned char kEmpty[1] = {0};

inline const unsigned char* OrEmpty(const unsigned char* m) { return m != nullptr ? m : kEmpty; }

int PreHash(const unsigned char* m, std::size_t mlen, unsigned char ph[64]) {
    return Sha512Digest(OrEmpty(m), mlen, ph);
}

}  // namespace

int Ed25519PublicKey(const unsigned char* seed, unsigned char* publicKey) {
    if (seed == nullptr || publicKey == nullptr) return kCryptoMissingArgument;
    unsigned char az[64];
    ExpandSeed(seed, az);
    PublicFromExpanded(az, publicKey);
    SecureZero(az, sizeof az);
    return kCryptoOk;
}

int Ed25519Sign(unsigned char* signature, const unsigned char* message, std::size_t length, const unsigned char* seed,
                const unsigned char* publicKey) {
    if (signature == nullptr || seed == nullptr || MessageMissing(message, length)) return kCryptoMissingArgument;
    return SignCore(signature, OrEmpty(message), length, Domain{}, seed, publicKey);
}

int Ed25519Verify(const unsigned char* signature, const unsigned char* message, std::size_t length,
                  const unsigned char* publicKey) {
    if (signature == nullptr || publicKey == nullptr || MessageMissing(message, length)) return kCryptoMissingArgument;
    return VerifyCore(signature, OrEmpty(message), length, Domain{}, publicKey);
}

int Ed25519ctxSign(unsigned char* signature, const unsigned char* message, std::size_t length,
                   const unsigned char* context, std::size_t contextLength, const unsigned char* seed,
                   const unsigned char* publicKey) {
    if (signature == nullptr || seed == nullptr || MessageMissing(message, length) || context == nullptr ||
        contextLength == 0 || contextLength > 255)
        return kCryptoMissingArgument;
    return SignCore(signature, OrEmpty(message), length, Domain{true, 0, context, contextLength}, seed, publicKey);
}

int Ed25519ctxVerify(const unsigned char* signature, const unsigned char* message, std::size_t length,
                     const unsigned char* context, std::size_t contextLength, const unsigned char* publicKey) {
    if (signature == nullptr || publicKey == nullptr || MessageMissing(message, length) || context == nullptr ||
        contextLength == 0 || contextLength > 255)
        return kCryptoMissingArgument;
    return VerifyCore(signature, OrEmpty(message), length, Domain{true, 0, context, contextLength}, publicKey);
}

int Ed25519phSign(unsigned char* signature, const unsigned char* message, std::size_t length,
                  const unsigned char* context, std::size_t contextLength, const unsigned char* seed,
                  const unsigned char* publicKey) {
    if (signature == nullptr || seed == nullptr || MessageMissing(message, length) ||
        (context == nullptr && contextLength != 0) || contextLength > 255)
        return kCryptoMissingArgument;
    unsigned char ph[64];
    PreHash(message, length, ph);
    return SignCore(signature, ph, sizeof ph, Domain{true, 1, context, contextLength}, seed, publicKey);
}

int Ed25519phVerify(const unsigned char* signature, const unsigned char* message, std::size_t length,
                    const unsigned char* context, std::size_t contextLength, const unsigned char* publicKey) {
    if (signature == nullptr || publicKey == nullptr || MessageMissing(message, length) ||
        (context == nullptr && contextLength != 0) || contextLength > 255)
        return kCryptoMissingArgument;
    unsigned char ph[64];
    PreHash(message, length, ph);
    return VerifyCore(signature, ph, sizeof ph, Domain{true, 1, context, contextLength}, publicKey);
}

void Ed25519ReduceScalar(const unsigned char* in64, unsigned char* out32) { ReduceScalar64(in64, out32); }

bool Ed25519IsCanonicalScalar(const unsigned char* s32) { return IsCanonicalScalar(s32); }

}  // namespace tdcrypto
