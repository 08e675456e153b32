#include "app/cli/failure_text.h"

#include "engine/failure_meaning.h"
#include "platform/files/file_api.h"
#include "platform/files/safe_output.h"

#include <cerrno>
#include <filesystem>

namespace vanthe::cli {

std::string FolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

std::string DescribeFailure(const JobFailure& failure, const std::string& source,
                            const std::string& destination, const PasswordBytes& password) {
    const std::uint32_t code = failure.code;
    switch (failure.step) {
    case JobStep::CryptoContext:
        return source + ": the crypto service cannot start: " + ServiceMeaning(code);
    case JobStep::SetKey:
        return source + ": cannot make the key: " + ServiceMeaning(code);
    case JobStep::OpenSource:
        return source + ": cannot open: " + SystemMeaning(code);
    case JobStep::SizeSource:
        return source + ": cannot tell its size: " + SystemMeaning(code);
    case JobStep::SameFile:
        return destination + ": is the source file itself";
    case JobStep::DestinationKind:
        return destination + ": exists and is not a regular file; left as it is";
    case JobStep::CreateDestination:
        if (code == ENAMETOOLONG) {
            return destination + ": cannot create: " + SystemMeaning(code);
        }
        // Each failure names its file: with several sources in one folder, which one failed.
        return destination + ": cannot create a file in " + FolderOf(destination) + ": " +
               SystemMeaning(code);
    case JobStep::Read:
        return source + ": read error: " + SystemMeaning(code);
    case JobStep::SourceChanged:
        if (code == platform::ERROR_FILE_INVALID) {
            return source + ": changed while it was read (another program wrote to it, or "
                            "changed its permissions, links or times); nothing was written, try "
                            "again when it is left alone";
        }
        return source +
               ": cannot tell whether it changed while it was read: " + SystemMeaning(code);
    case JobStep::Cipher:
        return source + ": cipher failure: " + ServiceMeaning(code);
    case JobStep::Write:
        return destination + ": write error: " + SystemMeaning(code);
    case JobStep::WrongPassword: {
        std::string text = source +
                           ": the decrypted data does not look like any known kind of file; the "
                           "password is probably wrong (--no-check writes it anyway)";
        if (password.asTheyStand) {
            text += "; the password file's line is not UTF-8, so its bytes were hashed as they "
                    "stand";
        } else if (password.nonAscii) {
            text += "; the password was hashed in code page " + std::to_string(password.codePage) +
                    ", --codepage chooses another";
        }
        return text;
    }
    case JobStep::NotEncrypted:
        return source + ": does not look encrypted: it already looks like a known kind of file "
                        "or text, and decrypting would scramble it; nothing was written "
                        "(--no-check decrypts it anyway)";
    case JobStep::PasswordUnchecked:
        if (code == ENOMEM) {
            return source + ": cannot check the password: out of memory while judging the "
                            "decrypted data (--no-check writes it anyway)";
        }
        return source + ": cannot check the password: the file type database (libmagic) could "
                        "not be loaded, and the decrypted data is no text (--no-check writes it "
                        "anyway)";
    case JobStep::Publish:
        if (code == EEXIST) {
            return destination + ": appeared meanwhile and was kept (use --force to replace it)";
        }
        if (code == platform::ERROR_CANT_ACCESS_FILE) {
            return destination + ": appeared meanwhile, not a regular file; left as it is";
        }
        return destination + ": cannot take its name: " + SystemMeaning(code);
    case JobStep::None:
        break;
    }
    return source + ": failed";
}

} // namespace vanthe::cli
