#pragma once

#include <string>

namespace vanthe::cli {

// The meaning, in words, of the number in one of the engine's failure texts
// ("Encryption error: 28." or "Setkey error. HR:80090008"); empty when it has none.
std::string ErrorMeaning(const std::string& errorText);

} // namespace vanthe::cli
