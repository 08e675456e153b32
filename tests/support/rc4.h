#pragma once

// The program's cipher for tests that need ciphertext without a file: the data run through
// RC4 keyed from the password's bytes by the crypto service, as the program keys it.

#include "support/test_files.h"

#include <string>

namespace testing_support {

Bytes Rc4(const std::string& password, Bytes data);

} // namespace testing_support
