#include "engine/file_transform.h"

#include "engine/cipher_session.h"
#include "engine/file_handle.h"
#include "engine/text_format.h"
#include "platform/content/plausibility.h"
#include "platform/files/safe_output.h"
#include "platform/files/strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <thread>
#include <vector>

namespace vanthe {

using namespace platform;

namespace {

constexpr DWORD kChunkSize = 1024;

constexpr char kImplausibleText[] = "The decrypted data does not look like any known kind of file.";
constexpr char kNotEncryptedText[] = "The file does not look encrypted.";
constexpr char kUncheckedText[] = "The password cannot be checked: the file type database could "
                                  "not be loaded.";
constexpr char kNoMemoryText[] = "The password cannot be checked: out of memory.";

Implausible WhyImplausible(const Plausibility& verdict) {
    switch (verdict.shortfall) {
    case JudgeShortfall::NoTypeDatabase:
        return Implausible::NoTypeDatabase;
    case JudgeShortfall::OutOfMemory:
        return Implausible::OutOfMemory;
    case JudgeShortfall::None:
        break;
    }
    return Implausible::WrongPassword;
}

class NoObserver final : public JobObserver {
public:
    void OnJobStarted(std::uint64_t) override {}
    void OnChunkDone(std::uint64_t, std::uint64_t) override {}
    void OnJobFinished(bool) override {}
};

// Writes a whole block to a handle, as the last-error value's failure code.
HRESULT WriteBlock(HANDLE output, const unsigned char* data, std::size_t size) {
    DWORD written = 0;
    return WriteFile(output, data, static_cast<DWORD>(size), &written, nullptr) != FALSE
               ? 0
               : HResultFromLastError();
}

} // namespace

bool FileTransform::EncryptFile(const std::string& source, const std::string& destination,
                                const std::string& password) {
    return Transform(source, destination, password, kModeEncrypt);
}

bool FileTransform::DecryptFile(const std::string& source, const std::string& destination,
                                const std::string& password) {
    return Transform(source, destination, password, kModeDecrypt);
}

bool FileTransform::Transform(const std::string& source, const std::string& destination,
                              const std::string& password, int mode) {
    NoObserver silent;
    JobObserver& events = observer != nullptr ? *observer : silent;
    const bool encrypting = mode == kModeEncrypt;
    failure = JobFailure{};
    passwordUnchecked = false;

    CipherSession session;
    FileHandle sourceFile;
    ResultFile result;
    FileHandle standardOutput;
    HANDLE output = nullptr;
    HRESULT code = 0;
    bool ok = true;
    // The step whose file call failed, for `failure`.
    JobStep fileStep = JobStep::None;

    std::uint64_t size = 0;
    // A named source is a regular file: one changed while it is read (truncated, rewritten by
    // another program) would give a result that matches no version of it.
    bool watchSource = false;
    FileHandle::ChangeTimes sourceTimes;
    bool filesOpen = false;
    if (session.provider() == nullptr) {
        ok = false;
        failure = {JobStep::CryptoContext, session.failureCode()};
    } else if (!session.SetKey(password)) {
        ok = false;
        failure = {JobStep::SetKey, session.failureCode()};
    } else {
        fileStep = JobStep::OpenSource;
        code = sourceIsStandardInput ? sourceFile.Adopt(GetStdHandle(STD_INPUT_HANDLE))
               : sourceIsNamedStream
                   ? sourceFile.Adopt(OpenStream(source.c_str()))
                   : sourceFile.Create(source.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL);
        if (code == 0) {
            fileStep = JobStep::SizeSource;
            code = sourceFile.GetSize(&size);
        }
        if (code == 0 && !sourceIsStandardInput && !sourceIsNamedStream) {
            watchSource = sourceFile.GetChangeTimes(&sourceTimes) == 0;
        }
        if (code == 0) {
            fileStep = JobStep::CreateDestination;
            if (destinationIsStandardOutput) {
                code = standardOutput.Adopt(GetStdHandle(STD_OUTPUT_HANDLE));
                output = standardOutput.handle();
            } else if (result.Create(destination.c_str(), sourceFile.handle(), replaceExisting)) {
                output = result.handle();
            } else {
                code = HResultFromLastError();
                DWORD error = GetLastError();
                fileStep = error == ERROR_SHARING_VIOLATION          ? JobStep::SameFile
                           : error == ERROR_CANT_ACCESS_FILE         ? JobStep::DestinationKind
                           : error == EEXIST || result.NameRefused() ? JobStep::Publish
                                                                     : JobStep::CreateDestination;
            }
        }
        filesOpen = code == 0;
    }

    if (filesOpen) {
        events.OnJobStarted(size);
        // Decrypting holds back the first plaintext until it has been judged, so a wrong
        // password writes nothing, not even to standard output.
        bool judging = !encrypting && checkPlausibility;
        std::vector<unsigned char> sample;
        // The source's own first bytes: every encrypted file looks random, so one that does not
        // was never encrypted, and its "wrong password" is the wrong file.
        std::vector<unsigned char> sourceSample;
        if (judging) {
            sample.reserve(kPlausibilitySample);
            sourceSample.reserve(kPlausibilitySample);
        }
        std::uint64_t chunkIndex = 0;
        std::uint64_t done = 0;
        unsigned char chunks[2][kChunkSize];
        unsigned char* chunk = chunks[0];
        unsigned char* next = chunks[1];
        DWORD n = 0;
        if (watchSource) {
            // A change stamped like the last one would pass unseen; reading starts once any
            // change gets stamps of its own. It waits only for a source changed just now.
            std::this_thread::sleep_for(sourceTimes.SameStampWithin(FileHandle::Now()));
        }
        fileStep = JobStep::Read;
        code = sourceFile.Read(chunk, kChunkSize, &n);
        // The source is read to its end, whatever size the system reported; reading one chunk
        // ahead tells which chunk is the last, and only that one ends the key stream.
        while (code == 0 && n > 0) {
            DWORD m = 0;
            code = sourceFile.Read(next, kChunkSize, &m);
            if (code != 0) {
                break;
            }
            bool final = m == 0;
            if (judging) {
                sourceSample.insert(sourceSample.end(), chunk, chunk + n);
            }
            ok = encrypting ? session.Encrypt(chunk, n, final) : session.Decrypt(chunk, n, final);
            if (!ok) {
                failure = {JobStep::Cipher, session.failureCode()};
                break;
            }
            if (judging) {
                sample.insert(sample.end(), chunk, chunk + n);
                if (sample.size() >= kPlausibilitySample || final) {
                    judging = false;
                    const Plausibility verdict = JudgePlausibility(sample.data(), sample.size());
                    passwordUnchecked = verdict.because == PlausibleBecause::TooSmall;
                    Implausible why = WhyImplausible(verdict);
                    if (!verdict.plausible && why == Implausible::WrongPassword &&
                        JudgePlausibility(sourceSample.data(), sourceSample.size()).plausible) {
                        why = Implausible::NotEncrypted;
                    }
                    if (!verdict.plausible && !events.ConfirmImplausible(why)) {
                        ok = false;
                        failure = {why == Implausible::WrongPassword  ? JobStep::WrongPassword
                                   : why == Implausible::NotEncrypted ? JobStep::NotEncrypted
                                                                      : JobStep::PasswordUnchecked,
                                   why == Implausible::OutOfMemory ? ENOMEM : 0U};
                    } else {
                        fileStep = JobStep::Write;
                        code = WriteBlock(output, sample.data(), sample.size());
                    }
                    SecureZeroMemory(sample.data(), sample.size());
                    SecureZeroMemory(sourceSample.data(), sourceSample.size());
                    if (!ok || code != 0) {
                        break;
                    }
                }
            } else {
                fileStep = JobStep::Write;
                code = WriteBlock(output, chunk, n);
                if (code != 0) {
                    break;
                }
            }
            done += n;
            events.OnChunkDone(chunkIndex, done);
            ++chunkIndex;
            std::swap(chunk, next);
            n = m;
            fileStep = JobStep::Read;
        }
        SecureZeroMemory(chunks, sizeof chunks);
        if (!sample.empty()) {
            SecureZeroMemory(sample.data(), sample.size());
        }
        if (code == 0 && ok && watchSource) {
            std::uint64_t sizeNow = 0;
            FileHandle::ChangeTimes timesNow;
            fileStep = JobStep::SourceChanged;
            code = sourceFile.GetSize(&sizeNow);
            if (code == 0) {
                code = sourceFile.GetChangeTimes(&timesNow);
            }
            if (code == 0 && (sizeNow != size || timesNow != sourceTimes)) {
                SetLastError(ERROR_FILE_INVALID);
                code = HResultFromLastError();
            }
        }
        sourceFile.Close();

        if (code == 0 && ok) {
            // Written data may still sit in the file layer's buffers; a failure to write it out
            // is a failed job, not a success.
            if (destinationIsStandardOutput) {
                fileStep = JobStep::Write;
                code = standardOutput.Close();
            } else if (!FlushFileBuffers(result.handle())) {
                fileStep = JobStep::Write;
                code = HResultFromLastError();
            } else if (!result.Publish()) {
                fileStep = result.FailedWriting() ? JobStep::Write : JobStep::Publish;
                code = HResultFromLastError();
            }
        }
    }

    bool succeeded = true;
    if (code != 0) {
        failure = {fileStep, GetLastError()};
        errorText = FormatText(encrypting ? "Encryption error: %d." : "Decryption error: %d.",
                               static_cast<int>(GetLastError()));
        succeeded = false;
    } else if (!ok) {
        errorText = failure.step == JobStep::WrongPassword  ? std::string(kImplausibleText)
                    : failure.step == JobStep::NotEncrypted ? std::string(kNotEncryptedText)
                    : failure.step == JobStep::PasswordUnchecked
                        ? std::string(failure.code == ENOMEM ? kNoMemoryText : kUncheckedText)
                        : session.errorText();
        succeeded = false;
    }
    // Nothing of a failed job takes the destination's name.
    result.Discard();
    events.OnJobFinished(!succeeded);
    return succeeded;
}

} // namespace vanthe
