#include "engine/file_transform.h"

#include "engine/cipher_session.h"
#include "engine/file_handle.h"
#include "engine/text_format.h"
#include "platform/window/messaging.h"

#include <cstdint>

namespace vanthe {

using namespace platform;

namespace {
constexpr DWORD kChunkSize = 1024;
}

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
    CipherSession session;
    FileHandle sourceFile;
    FileHandle destinationFile;
    HRESULT code = 0;
    bool ok = true;

    std::uint64_t size = 0;
    bool filesOpen = false;
    if (session.provider() == nullptr || !session.SetKey(password)) {
        ok = false;
    } else {
        code = sourceFile.Create(source.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL);
        if (code == 0) {
            code = sourceFile.GetSize(&size);
        }
        if (code == 0) {
            code = destinationFile.Create(destination.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        }
        filesOpen = code == 0;
    }

    if (filesOpen) {
        SendMessage(notifyWindow, WM_JOB_STARTED, static_cast<DWORD>(size >> 10), 0);
        DWORD chunkIndex = 0;
        std::uint64_t done = 0;
        unsigned char chunk[kChunkSize];
        do {
            DWORD n = 0;
            code = sourceFile.Read(chunk, kChunkSize, &n);
            if (code != 0) {
                if (GetLastError() != ERROR_HANDLE_EOF) {
                    break;
                }
                code = 0;
            }
            if (n == 0) {
                break;
            }
            bool final = done + n >= size;
            ok = mode == kModeEncrypt ? session.Encrypt(chunk, n, final)
                                      : session.Decrypt(chunk, n, final);
            if (!ok) {
                break;
            }
            DWORD written = 0;
            code = destinationFile.Write(chunk, n, &written);
            if (code != 0) {
                break;
            }
            done += written;
            SendMessage(notifyWindow, WM_JOB_PROGRESS, chunkIndex, 0);
            ++chunkIndex;
        } while (done < size);
        SecureZeroMemory(chunk, sizeof chunk);

        sourceFile.Close();
        // Written data may still sit in the file layer's buffer; a failure to write it out is
        // a failed job, not a success.
        HRESULT closed = destinationFile.Close();
        if (code == 0 && ok) {
            code = closed;
        }
    }

    bool result = true;
    if (code != 0) {
        errorText =
            FormatText(mode == kModeEncrypt ? "Encryption error: %d." : "Decryption error: %d.",
                       static_cast<int>(GetLastError()));
        result = false;
    } else if (!ok) {
        errorText = session.errorText();
        result = false;
    }
    SendMessage(notifyWindow, WM_JOB_FINISHED, result ? 0 : 1, 0);
    destinationFile.Close();
    sourceFile.Close();
    return result;
}

} // namespace vanthe
