// The private key that matches the verification key built into utilcore,
// scrambled as makeDPNList takes it. Test fixture only: it lets the tests sign
// lists that findDPNIdx accepts, and must never be compiled into the library.
#pragma once

extern const unsigned char kDpnTestPrivateKeyScrambled[32];
// The same key pair's public key, scrambled (what makeKeyPairs returned).
extern const unsigned char kDpnTestPublicKeyScrambled[32];
