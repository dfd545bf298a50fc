// DES (FIPS 46-3) on single 8-byte blocks, and two-key triple DES (ECB, no
// padding) over buffers of whole blocks. The parity bit of each key byte is
// ignored. Every call keeps its state on its own stack, so calls may run on
// several threads at once.
#pragma once

#include "UtilcoreApi.h"

// out = DES encryption / decryption of the 8-byte block `in` under the 8-byte
// key. `out` may be `in`.
UTILCORE_API void Des(const unsigned char* in, unsigned char* out, const unsigned char* key);
UTILCORE_API void UnDes(const unsigned char* in, unsigned char* out, const unsigned char* key);

// Two-key triple DES with the 16-byte key K1 || K2 over the length / 8 whole
// blocks of `in`: Des3 computes E_K1(D_K2(E_K1(block))), UnDes3 the inverse.
// Bytes after the last whole block are neither read nor written; `out` may be
// `in`. Null pointers do nothing.
UTILCORE_API void Des3(const unsigned char* in, unsigned char* out, const unsigned char* key, unsigned short length);
UTILCORE_API void UnDes3(const unsigned char* in, unsigned char* out, const unsigned char* key, unsigned short length);
