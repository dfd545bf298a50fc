// A key pair of the tests' own, scrambled as makeDPNList and the verifier take
// keys. Lists signed with it are accepted only after the test program installs
// its public half with DpnSetVerificationKeyForTest; the library's built-in key
// refuses them, and its private half is not in the source tree.
#pragma once

extern const unsigned char kDpnTestPrivateKeyScrambled[32];
extern const unsigned char kDpnTestPublicKeyScrambled[32];

// Defined only in the test build of the DPN list code (utilcore_dpn_testing):
// findDPNIdx verifies with this scrambled key from now on; null goes back to
// the built-in key.
void DpnSetVerificationKeyForTest(const unsigned char* scrambled);
