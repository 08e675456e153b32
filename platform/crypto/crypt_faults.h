#pragma once

// Test seam: makes a chosen crypto call fail with a chosen code, and counts calls, so that
// every failure path above the service can be exercised.

#include "platform/crypto/crypt_api.h"

namespace platform {

enum class CryptCall {
    AcquireContext,
    CreateHash,
    HashData,
    DeriveKey,
    Encrypt,
    Decrypt,
    DestroyHash,
    DestroyKey,
    ReleaseContext,
    Count
};

// The call of that kind made after `skip` successful ones fails with `code`, once.
void InjectCryptFailure(CryptCall call, HRESULT code, unsigned skip = 0);
void ClearCryptFailures();

unsigned CryptCallCount(CryptCall call);
// Calls of Encrypt or Decrypt that carried the final flag.
unsigned CryptFinalCallCount();
// Objects (contexts, hashes, keys) handed out and not yet released.
int CryptLiveObjects();
void ResetCryptCounters();

} // namespace platform
