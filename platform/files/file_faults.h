#pragma once

// Test seam: makes a chosen file call fail with a chosen error number, once.

#include "platform/files/file_api.h"

namespace platform {

enum class FileCall { Create, Read, Write, GetSize, Close, CreateThread, Count };

// The call of that kind made after `skip` unaffected ones fails with `error`.
void InjectFileFailure(FileCall call, DWORD error, unsigned skip = 0);
void ClearFileFailures();

} // namespace platform
