#include "platform/crypto/crypt_api.h"

#include "platform/crypto/crypt_faults.h"
#include "platform/seams/planned_failures.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

namespace platform {

namespace {

// A library context of our own, so that RC4 and MD5 never depend on (or change) the
// process's default OpenSSL configuration.
struct ProviderState {
    OSSL_LIB_CTX* library = nullptr;
    OSSL_PROVIDER* legacy = nullptr;
    OSSL_PROVIDER* base = nullptr;
    EVP_MD* md5 = nullptr;
    EVP_CIPHER* rc4 = nullptr;

    ProviderState() = default;
    ProviderState(const ProviderState&) = delete;
    ProviderState& operator=(const ProviderState&) = delete;
    ~ProviderState() {
        EVP_CIPHER_free(rc4);
        EVP_MD_free(md5);
        if (base != nullptr) {
            OSSL_PROVIDER_unload(base);
        }
        if (legacy != nullptr) {
            OSSL_PROVIDER_unload(legacy);
        }
        OSSL_LIB_CTX_free(library);
    }
};

#ifdef VANTHE_TEST_SEAMS
std::atomic<unsigned> callCounts[static_cast<int>(CryptCall::Count)];
std::atomic<unsigned> finalCalls{0};
std::atomic<int> liveObjects{0};
PlannedFailures<CryptCall> plannedFailures;

// Counts the call and answers the planned failure for it, if one is due. The count is a load
// and a store, not a locked add: a lock per 1 KiB call would drain the files layer's streaming
// stores each time, and the tests count calls made on one thread only.
HRESULT Enter(CryptCall call) {
    std::atomic<unsigned>& count = callCounts[static_cast<int>(call)];
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    HRESULT code = S_OK;
    return plannedFailures.Due(call, &code) ? code : S_OK;
}
void CountFinalCall() {
    finalCalls.fetch_add(1, std::memory_order_relaxed);
}
void CountObject(int change) {
    liveObjects.fetch_add(change, std::memory_order_relaxed);
}
#else
constexpr HRESULT Enter(CryptCall) {
    return S_OK;
}
constexpr void CountFinalCall() {}
constexpr void CountObject(int) {}
#endif

constexpr std::size_t kMd5Size = 16;
constexpr std::size_t kRc4KeySize = 16;

} // namespace

struct CryptProvider {
    std::shared_ptr<ProviderState> state;
};

struct CryptHash {
    std::shared_ptr<ProviderState> state;
    EVP_MD_CTX* context = nullptr;
    bool finished = false;
    std::array<unsigned char, kMd5Size> digest{};
};

struct CryptKey {
    std::shared_ptr<ProviderState> state;
    EVP_CIPHER_CTX* context = nullptr;
    std::array<unsigned char, kRc4KeySize> material{};
};

namespace {

// Contexts alive at the same time share one library context: loading the providers costs more
// than a small file's whole job, and a batch whose jobs all loaded them at once, short of
// memory, crashed inside OpenSSL.
std::mutex sharedStateMutex;
std::weak_ptr<ProviderState> sharedState;

HRESULT Hand(std::shared_ptr<ProviderState> state, HCRYPTPROV* provider) {
    auto* result = new (std::nothrow) CryptProvider{std::move(state)};
    if (result == nullptr) {
        return NTE_NO_MEMORY;
    }
    CountObject(1);
    *provider = result;
    return S_OK;
}

} // namespace

HRESULT CryptAcquireContext(HCRYPTPROV* provider, const char* container, const char* providerName,
                            DWORD providerType, DWORD flags) {
    if (HRESULT planned = Enter(CryptCall::AcquireContext); planned != S_OK) {
        return planned;
    }
    if (provider == nullptr) {
        return NTE_BAD_UID;
    }
    *provider = nullptr;
    if (providerType != PROV_RSA_FULL) {
        return NTE_BAD_PROV_TYPE;
    }
    // Only verify contexts: no key container is ever read or stored.
    if (flags != CRYPT_VERIFYCONTEXT || container != nullptr) {
        return NTE_BAD_FLAGS;
    }
    if (providerName != nullptr) {
        return NTE_KEYSET_NOT_DEF;
    }
    // The context below is our own and never reads OpenSSL's configuration file, and nothing
    // else in the process uses the default context that would: parsing it on the first call
    // is start-up time for nothing. The same goes for the global tables of ciphers and
    // digests by name, which only the old lookup functions read. Nor is anything gained by
    // OpenSSL taking its tables apart one by one at exit (about 1.5 ms here): each context
    // is freed by its last user, and the rest goes with the process.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT |
                            OPENSSL_INIT_NO_ADD_ALL_CIPHERS | OPENSSL_INIT_NO_ADD_ALL_DIGESTS,
                        nullptr);
    std::shared_ptr<ProviderState> state;
    std::lock_guard<std::mutex> lock(sharedStateMutex);
    if ((state = sharedState.lock()) != nullptr) {
        return Hand(std::move(state), provider);
    }
    try {
        state = std::make_shared<ProviderState>();
    } catch (const std::bad_alloc&) {
        return NTE_NO_MEMORY;
    }
    state->library = OSSL_LIB_CTX_new();
    if (state->library == nullptr) {
        return NTE_NO_MEMORY;
    }
    // Memory that ran out while loading is not a missing provider.
    const auto loadFailure = [] {
        return errno == ENOMEM || ERR_GET_REASON(ERR_peek_last_error()) == ERR_R_MALLOC_FAILURE
                   ? NTE_NO_MEMORY
                   : NTE_PROVIDER_DLL_FAIL;
    };
    errno = 0;
    // The first fetch of a kind of algorithm builds all of that kind from every provider
    // loaded so far. RC4 is fetched before the default provider is loaded, so that only the
    // legacy provider's few ciphers are built rather than a hundred more (about 0.7 ms).
    state->legacy = OSSL_PROVIDER_load(state->library, "legacy");
    if (state->legacy == nullptr) {
        return loadFailure();
    }
    state->rc4 = EVP_CIPHER_fetch(state->library, "RC4", nullptr);
    state->base = OSSL_PROVIDER_load(state->library, "default");
    if (state->rc4 == nullptr || state->base == nullptr) {
        return loadFailure();
    }
    state->md5 = EVP_MD_fetch(state->library, "MD5", nullptr);
    if (state->md5 == nullptr) {
        return loadFailure();
    }
    sharedState = state;
    return Hand(std::move(state), provider);
}

HRESULT CryptCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags,
                        HCRYPTHASH* hash) {
    if (HRESULT planned = Enter(CryptCall::CreateHash); planned != S_OK) {
        return planned;
    }
    if (provider == nullptr || hash == nullptr) {
        return NTE_BAD_UID;
    }
    *hash = nullptr;
    if (algorithm != CALG_MD5) {
        return NTE_BAD_ALGID;
    }
    if (key != nullptr) {
        return NTE_BAD_KEY;
    }
    if (flags != 0) {
        return NTE_BAD_FLAGS;
    }
    auto* result = new (std::nothrow) CryptHash{provider->state};
    if (result == nullptr) {
        return NTE_NO_MEMORY;
    }
    result->context = EVP_MD_CTX_new();
    if (result->context == nullptr ||
        EVP_DigestInit_ex2(result->context, provider->state->md5, nullptr) != 1) {
        EVP_MD_CTX_free(result->context);
        delete result;
        return NTE_NO_MEMORY;
    }
    CountObject(1);
    *hash = result;
    return S_OK;
}

HRESULT CryptHashData(HCRYPTHASH hash, const unsigned char* data, DWORD length, DWORD flags) {
    if (HRESULT planned = Enter(CryptCall::HashData); planned != S_OK) {
        return planned;
    }
    if (hash == nullptr) {
        return NTE_BAD_HASH;
    }
    if (flags != 0) {
        return NTE_BAD_FLAGS;
    }
    if (hash->finished) {
        return NTE_BAD_HASH_STATE;
    }
    if (length > 0 && data == nullptr) {
        return NTE_BAD_DATA;
    }
    if (length > 0 && EVP_DigestUpdate(hash->context, data, length) != 1) {
        return NTE_FAIL;
    }
    return S_OK;
}

HRESULT CryptDeriveKey(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTHASH hash, DWORD flags,
                       HCRYPTKEY* key) {
    if (HRESULT planned = Enter(CryptCall::DeriveKey); planned != S_OK) {
        return planned;
    }
    if (provider == nullptr || key == nullptr) {
        return NTE_BAD_UID;
    }
    *key = nullptr;
    if (hash == nullptr) {
        return NTE_BAD_HASH;
    }
    if (algorithm != CALG_RC4) {
        return NTE_BAD_ALGID;
    }
    if ((flags & 0xFFFF & ~(CRYPT_EXPORTABLE | CRYPT_NO_SALT)) != 0) {
        return NTE_BAD_FLAGS;
    }
    DWORD bits = flags >> 16;
    if (bits == 0) {
        bits = 40;
    }
    if (bits < 40 || bits > 128 || bits % 8 != 0) {
        return NTE_BAD_FLAGS;
    }
    if (!hash->finished) {
        unsigned int size = 0;
        if (EVP_DigestFinal_ex(hash->context, hash->digest.data(), &size) != 1 ||
            size != kMd5Size) {
            return NTE_FAIL;
        }
        hash->finished = true;
    }

    auto* result = new (std::nothrow) CryptKey{provider->state};
    if (result == nullptr) {
        return NTE_NO_MEMORY;
    }
    // The default provider's rule: the key's bytes are the first bytes of the hash value;
    // without CRYPT_NO_SALT the rest of the 16-byte RC4 key is a salt of zero bytes.
    std::size_t keyBytes = bits / 8;
    std::memcpy(result->material.data(), hash->digest.data(), keyBytes);
    int rc4Length =
        (flags & CRYPT_NO_SALT) != 0 ? static_cast<int>(keyBytes) : static_cast<int>(kRc4KeySize);
    result->context = EVP_CIPHER_CTX_new();
    bool ok = result->context != nullptr &&
              EVP_CipherInit_ex2(result->context, provider->state->rc4, nullptr, nullptr, 1,
                                 nullptr) == 1 &&
              EVP_CIPHER_CTX_set_key_length(result->context, rc4Length) == 1 &&
              EVP_CipherInit_ex2(result->context, nullptr, result->material.data(), nullptr, 1,
                                 nullptr) == 1;
    if (!ok) {
        EVP_CIPHER_CTX_free(result->context);
        OPENSSL_cleanse(result->material.data(), result->material.size());
        delete result;
        return NTE_FAIL;
    }
    CountObject(1);
    *key = result;
    return S_OK;
}

namespace {

HRESULT Transform(HCRYPTKEY key, HCRYPTHASH hash, bool final, DWORD flags, unsigned char* data,
                  DWORD length) {
    if (key == nullptr) {
        return NTE_BAD_KEY;
    }
    if (hash != nullptr) {
        return NTE_BAD_HASH;
    }
    if (flags != 0) {
        return NTE_BAD_FLAGS;
    }
    if (length > 0 && data == nullptr) {
        return NTE_BAD_DATA;
    }
    if (final) {
        CountFinalCall();
    }
    DWORD left = length;
    unsigned char* at = data;
    while (left > 0) {
        int piece = left > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(left);
        int written = 0;
        if (EVP_CipherUpdate(key->context, at, &written, at, piece) != 1 || written != piece) {
            return NTE_FAIL;
        }
        at += piece;
        left -= static_cast<DWORD>(piece);
    }
    if (final &&
        EVP_CipherInit_ex2(key->context, nullptr, key->material.data(), nullptr, 1, nullptr) != 1) {
        return NTE_FAIL;
    }
    return S_OK;
}

} // namespace

HRESULT CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, bool final, DWORD flags, unsigned char* data,
                     DWORD* length, DWORD bufferLength) {
    if (HRESULT planned = Enter(CryptCall::Encrypt); planned != S_OK) {
        return planned;
    }
    if (length == nullptr) {
        return NTE_BAD_LEN;
    }
    if (bufferLength < *length) {
        return NTE_BAD_LEN;
    }
    return Transform(key, hash, final, flags, data, *length);
}

HRESULT CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, bool final, DWORD flags, unsigned char* data,
                     DWORD* length) {
    if (HRESULT planned = Enter(CryptCall::Decrypt); planned != S_OK) {
        return planned;
    }
    if (length == nullptr) {
        return NTE_BAD_LEN;
    }
    return Transform(key, hash, final, flags, data, *length);
}

HRESULT CryptDestroyHash(HCRYPTHASH hash) {
    if (HRESULT planned = Enter(CryptCall::DestroyHash); planned != S_OK) {
        return planned;
    }
    if (hash == nullptr) {
        return NTE_BAD_HASH;
    }
    EVP_MD_CTX_free(hash->context);
    OPENSSL_cleanse(hash->digest.data(), hash->digest.size());
    delete hash;
    CountObject(-1);
    return S_OK;
}

HRESULT CryptDestroyKey(HCRYPTKEY key) {
    if (HRESULT planned = Enter(CryptCall::DestroyKey); planned != S_OK) {
        return planned;
    }
    if (key == nullptr) {
        return NTE_BAD_KEY;
    }
    EVP_CIPHER_CTX_free(key->context);
    OPENSSL_cleanse(key->material.data(), key->material.size());
    delete key;
    CountObject(-1);
    return S_OK;
}

HRESULT CryptReleaseContext(HCRYPTPROV provider, DWORD flags) {
    if (HRESULT planned = Enter(CryptCall::ReleaseContext); planned != S_OK) {
        return planned;
    }
    if (provider == nullptr) {
        return NTE_BAD_UID;
    }
    if (flags != 0) {
        return NTE_BAD_FLAGS;
    }
    delete provider;
    CountObject(-1);
    return S_OK;
}

#ifdef VANTHE_TEST_SEAMS
void InjectCryptFailure(CryptCall call, HRESULT code, unsigned skip) {
    plannedFailures.Plan(call, code, skip);
}

void ClearCryptFailures() {
    plannedFailures.Clear();
}

unsigned CryptCallCount(CryptCall call) {
    return callCounts[static_cast<int>(call)].load(std::memory_order_relaxed);
}

unsigned CryptFinalCallCount() {
    return finalCalls.load(std::memory_order_relaxed);
}

int CryptLiveObjects() {
    return liveObjects.load(std::memory_order_relaxed);
}

void ResetCryptCounters() {
    for (auto& count : callCounts) {
        count.store(0, std::memory_order_relaxed);
    }
    finalCalls.store(0, std::memory_order_relaxed);
}

#endif

} // namespace platform
