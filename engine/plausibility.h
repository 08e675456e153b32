#pragma once

// The wrong-password check of decrypting. The format has no header and no check value, so the
// first plaintext is judged instead: under a wrong password it is indistinguishable from
// random bytes, under the right one it nearly always has a known type, is text, or compresses.

#include <cstddef>
#include <string>

namespace vanthe {

// How much plaintext is judged before anything is written.
inline constexpr std::size_t kPlausibilitySample = 64 * 1024;

// False only when the bytes look like random data.
bool SampleLooksPlausible(const unsigned char* data, std::size_t size);

// The failure text of a job stopped by the check.
std::string WrongPasswordText();

} // namespace vanthe
