#pragma once

// Test seam: makes a chosen file call fail with a chosen error number, once. Compiled in only
// where VANTHE_TEST_SEAMS is defined (test builds).

#include "platform/files/file_api.h"

namespace platform {

enum class FileCall { Create, Read, Write, GetSize, Close, CreateThread, Publish, Sync, Count };

// The call of that kind made after `skip` unaffected ones fails with `error`.
void InjectFileFailure(FileCall call, DWORD error, unsigned skip = 0);
void ClearFileFailures();

// Results get a temporary name even where the file system has unnamed files, and the hook
// runs once that name exists: a test can then do what another local user could.
void ForceNamedTemporaryForTesting(bool force);
void SetTemporaryCreatedHookForTesting(void (*hook)(const char* folder, const char* name));

namespace detail {
#ifdef VANTHE_TEST_SEAMS
// True when a planned failure is due for this call; the last-error value is then set.
bool PlannedFailureDue(FileCall call);
#else
constexpr bool PlannedFailureDue(FileCall) {
    return false;
}
#endif
} // namespace detail

} // namespace platform
