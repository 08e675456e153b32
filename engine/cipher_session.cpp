#include "engine/cipher_session.h"

#include "engine/text_format.h"

namespace vanthe {

using namespace platform;

namespace {
// The key length in bits sits in the upper word of the flags.
constexpr DWORD kKeyBits = 40;
// 40 bits, exportable, and the provider's default salting.
constexpr DWORD kKeyFlags = (kKeyBits << 16) | CRYPT_EXPORTABLE;
} // namespace

CipherSession::CipherSession() {
    HRESULT hr =
        CryptAcquireContext(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    if (hr != S_OK) {
        provider_ = nullptr;
        failureCode_ = hr;
        errorText_ = FormatText("Init error. HR%X", hr);
    }
}

CipherSession::~CipherSession() {
    if (key_ != nullptr && CryptDestroyKey(key_) == S_OK) {
        key_ = nullptr;
    }
    if (provider_ != nullptr && CryptReleaseContext(provider_, 0) == S_OK) {
        provider_ = nullptr;
    }
    // A handle whose release failed gets one more try; nothing is left to report it to.
    if (key_ != nullptr) {
        CryptDestroyKey(key_);
    }
    if (provider_ != nullptr) {
        CryptReleaseContext(provider_, 0);
    }
}

bool CipherSession::SetKey(const std::string& password) {
    if (provider_ == nullptr) {
        return false;
    }
    if (key_ != nullptr) {
        errorText_ = "Key is already installed.";
        return false;
    }
    HCRYPTHASH hash = nullptr;
    HRESULT hr = CryptCreateHash(provider_, CALG_MD5, nullptr, 0, &hash);
    if (hr == S_OK) {
        hr = CryptHashData(hash, reinterpret_cast<const unsigned char*>(password.data()),
                           static_cast<DWORD>(password.size()), 0);
    }
    if (hr == S_OK) {
        hr = CryptDeriveKey(provider_, CALG_RC4, hash, kKeyFlags, &key_);
        if (hr != S_OK) {
            key_ = nullptr;
        }
    }
    if (hash != nullptr && CryptDestroyHash(hash) == S_OK) {
        hash = nullptr;
    }
    if (hash != nullptr) {
        CryptDestroyHash(hash);
    }
    if (hr != S_OK) {
        failureCode_ = hr;
        errorText_ = FormatText("Setkey error. HR:%X", hr);
        return false;
    }
    return true;
}

bool CipherSession::Encrypt(unsigned char* data, std::uint32_t length, bool final) {
    if (!HasKey()) {
        return false;
    }
    DWORD inOut = length;
    return Succeeded(CryptEncrypt(key_, nullptr, final, 0, data, &inOut, length), "Encrypt");
}

bool CipherSession::Decrypt(unsigned char* data, std::uint32_t length, bool final) {
    if (!HasKey()) {
        return false;
    }
    DWORD inOut = length;
    return Succeeded(CryptDecrypt(key_, nullptr, final, 0, data, &inOut), "Decrypt");
}

bool CipherSession::HasKey() {
    if (key_ == nullptr) {
        errorText_ = "Call SetKey at first.";
        return false;
    }
    return true;
}

bool CipherSession::Succeeded(HRESULT hr, const char* operation) {
    if (hr != S_OK) {
        failureCode_ = hr;
        errorText_ = FormatText("%s error. HR:%X", operation, hr);
        return false;
    }
    return true;
}

} // namespace vanthe
