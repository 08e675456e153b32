#pragma once

// The crypto service: a verify context, MD5 hash objects, a derived 40-bit RC4 key with its
// running state, and in-place encryption. Every call returns 0 on success or an
// HRESULT-shaped failure code (the service's NTE_ values where one fits).

#include "platform/base_types.h"

#include <cstdint>

namespace platform {

using ALG_ID = std::uint32_t;

struct CryptProvider;
struct CryptHash;
struct CryptKey;
using HCRYPTPROV = CryptProvider*;
using HCRYPTHASH = CryptHash*;
using HCRYPTKEY = CryptKey*;

inline constexpr DWORD PROV_RSA_FULL = 1;
inline constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000;
inline constexpr DWORD CRYPT_EXPORTABLE = 0x00000001;
inline constexpr DWORD CRYPT_NO_SALT = 0x00000010;
inline constexpr ALG_ID CALG_MD5 = 0x8003;
inline constexpr ALG_ID CALG_RC4 = 0x6801;

inline constexpr HRESULT NTE_BAD_UID = 0x80090001;
inline constexpr HRESULT NTE_BAD_HASH = 0x80090002;
inline constexpr HRESULT NTE_BAD_KEY = 0x80090003;
inline constexpr HRESULT NTE_BAD_LEN = 0x80090004;
inline constexpr HRESULT NTE_BAD_DATA = 0x80090005;
inline constexpr HRESULT NTE_BAD_ALGID = 0x80090008;
inline constexpr HRESULT NTE_BAD_FLAGS = 0x80090009;
inline constexpr HRESULT NTE_BAD_HASH_STATE = 0x8009000C;
inline constexpr HRESULT NTE_NO_MEMORY = 0x8009000E;
inline constexpr HRESULT NTE_BAD_PROV_TYPE = 0x80090014;
inline constexpr HRESULT NTE_KEYSET_NOT_DEF = 0x80090019;
inline constexpr HRESULT NTE_PROVIDER_DLL_FAIL = 0x8009001D;
inline constexpr HRESULT NTE_FAIL = 0x80090020;

HRESULT CryptAcquireContext(HCRYPTPROV* provider, const char* container, const char* providerName,
                            DWORD providerType, DWORD flags);
HRESULT CryptCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags,
                        HCRYPTHASH* hash);
HRESULT CryptHashData(HCRYPTHASH hash, const unsigned char* data, DWORD length, DWORD flags);
HRESULT CryptDeriveKey(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTHASH hash, DWORD flags,
                       HCRYPTKEY* key);
// Both transform *length bytes in place with the key's running state; after a call with
// final set, the key starts its stream afresh.
HRESULT CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, bool final, DWORD flags, unsigned char* data,
                     DWORD* length, DWORD bufferLength);
HRESULT CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, bool final, DWORD flags, unsigned char* data,
                     DWORD* length);
HRESULT CryptDestroyHash(HCRYPTHASH hash);
HRESULT CryptDestroyKey(HCRYPTKEY key);
HRESULT CryptReleaseContext(HCRYPTPROV provider, DWORD flags);

} // namespace platform
