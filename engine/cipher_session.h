#pragma once

// The password-keyed cipher of one job: a crypto-service context, the RC4 key derived from the
// password's MD5 digest, and in-place transforms that carry the key stream from chunk to chunk.

#include "platform/crypto/crypt_api.h"

#include <cstdint>
#include <string>

namespace vanthe {

class CipherSession {
public:
    CipherSession();
    ~CipherSession();
    CipherSession(const CipherSession&) = delete;
    CipherSession& operator=(const CipherSession&) = delete;

    // Derives the key from the password's bytes; a session takes one key in its life.
    bool SetKey(const std::string& password);
    // Transform exactly `length` bytes in place; `final` marks the last chunk of the stream.
    bool Encrypt(unsigned char* data, std::uint32_t length, bool final);
    bool Decrypt(unsigned char* data, std::uint32_t length, bool final);

    // Null when the service refused a context; errorText() then says why.
    platform::HCRYPTPROV provider() const { return provider_; }
    const std::string& errorText() const { return errorText_; }
    // The crypto service's code behind errorText; 0 for a refusal of the session's own.
    platform::HRESULT failureCode() const { return failureCode_; }

private:
    // Encrypt and Decrypt are the same RC4 step: they differ only in the service call and the
    // word in their failure text.
    bool HasKey();
    bool Succeeded(platform::HRESULT hr, const char* operation);

    platform::HCRYPTPROV provider_ = nullptr;
    platform::HCRYPTKEY key_ = nullptr;
    std::string errorText_;
    platform::HRESULT failureCode_ = 0;
};

} // namespace vanthe
