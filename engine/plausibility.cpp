#include "engine/plausibility.h"

namespace vanthe {

bool SampleLooksPlausible(const unsigned char* /*data*/, std::size_t /*size*/) {
    return true;
}

std::string WrongPasswordText() {
    return "The decrypted data does not look like any known kind of file.";
}

} // namespace vanthe
