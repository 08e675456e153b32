#pragma once

// What a job tells whoever runs it, and how it says why it failed. The dialog turns the events
// into its window messages; vanthe-cli draws its progress meter from them.

#include <cstdint>
#include <string>

namespace vanthe {

// Why the first plaintext of a decryption looks like no known kind of file.
enum class Implausible {
    WrongPassword,  // every test ran: the password is probably wrong
    NotEncrypted,   // as WrongPassword, but the source itself looks like a file: never encrypted
    NoTypeDatabase, // the file type database is missing, so kinds only it knows look random
    OutOfMemory,    // memory ran out before every test had run
};

class JobObserver {
public:
    virtual ~JobObserver() = default;
    // Both files are open. `size` is what the system reported for the source: a hint only,
    // since the source is read to its end (a /proc file or a pipe reports 0).
    virtual void OnJobStarted(std::uint64_t size) = 0;
    // Chunk `index` (counting from 0) is done; `bytesDone` counts every byte so far.
    virtual void OnChunkDone(std::uint64_t index, std::uint64_t bytesDone) = 0;
    // The last event of every job, also of one that failed before it started.
    virtual void OnJobFinished(bool failed) = 0;
    // Decrypting: the first plaintext looks like no known kind of file. True writes it anyway.
    virtual bool ConfirmImplausible(Implausible why) {
        (void)why;
        return false;
    }
};

// The step at which a job failed; the CLI words its own messages from it.
enum class JobStep {
    None,
    CryptoContext,     // code: the crypto service's failure code
    SetKey,            // code: the crypto service's failure code
    OpenSource,        // code: errno
    SizeSource,        // code: errno
    SameFile,          // the destination is the source itself
    DestinationKind,   // the destination exists and is not a regular file
    CreateDestination, // code: errno (the temporary result in the destination's folder)
    Read,              // code: errno
    SourceChanged,     // a named source changed while it was read (ERROR_FILE_INVALID)
    Cipher,            // code: the crypto service's failure code
    Write,             // code: errno (also a failure found when the result was closed)
    WrongPassword,     // decrypting: the plaintext looked like random bytes
    NotEncrypted,      // decrypting: as WrongPassword, and the source itself did not
    PasswordUnchecked, // decrypting: as WrongPassword, but a test could not run (code: ENOMEM
                       // when memory ran out, 0 when the file type database is missing)
    Publish,           // code: errno (EEXIST: the destination appeared and was not replaced)
};

struct JobFailure {
    JobStep step = JobStep::None;
    std::uint32_t code = 0;
};

} // namespace vanthe
