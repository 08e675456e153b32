#include "platform/content/plausibility.h"
#include "platform/crypto/crypt_api.h"
#include "support/rc4.h"
#include "support/test_files.h"

#include <algorithm>
#include <bzlib.h>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using testing_support::Bytes;
using testing_support::Rc4;
using testing_support::ReadBytes;

namespace {

const std::string kCorpus = VANTHE_TEST_DATA_DIR "/corpus";

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        if (entry.is_regular_file()) {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

Plausibility Judge(const Bytes& data) {
    return JudgePlausibility(data.data(), data.size());
}

Bytes Random(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(generator() >> 24);
    }
    return bytes;
}

std::string Describe(const Plausibility& verdict) {
    return "because " + std::to_string(static_cast<int>(verdict.because)) + " (" + verdict.detail +
           ")";
}

TEST(Plausibility, NoFalseAlarmOnAnyCorpusFile) {
    const std::vector<std::string> files = CorpusFiles();
    ASSERT_GE(files.size(), 40U);
    for (const std::string& path : files) {
        const Bytes bytes = ReadBytes(path);
        const Plausibility verdict = Judge(bytes);
        EXPECT_TRUE(verdict.plausible) << path;
        EXPECT_EQ(verdict.shortfall, JudgeShortfall::None) << path;
    }
}

TEST(Plausibility, WrongPasswordIsCaughtOnEveryCorpusFileOfOneKibibyte) {
    int judged = 0;
    for (const std::string& path : CorpusFiles()) {
        const Bytes plain = ReadBytes(path);
        if (plain.size() < 1024) {
            continue;
        }
        ++judged;
        const Bytes garbage = Rc4("wrong horse", Rc4("correct horse", plain));
        const Plausibility verdict = Judge(garbage);
        EXPECT_FALSE(verdict.plausible) << path << " " << Describe(verdict);
        // The right password gives the file back, which passes.
        EXPECT_TRUE(Judge(Rc4("correct horse", Rc4("correct horse", plain))).plausible) << path;
    }
    EXPECT_GE(judged, 40);
}

TEST(Plausibility, TextIsRecognisedInItsEncoding) {
    const std::map<std::string, std::string> encodings = {
        {"text-utf8.txt", "UTF-8"},
        {"text-utf8-bom.txt", "UTF-8"},
        {"text-utf16le.txt", "UTF-16LE"},
        {"text-utf16be.txt", "UTF-16BE"},
        {"text-utf16le-nobom.txt", "UTF-16LE"},
        {"text-cp1252.txt", "legacy code page"},
        {"text-cp1251.txt", "legacy code page"},
        {"text-shift_jis.txt", "legacy code page"},
        {"text-gbk.txt", "legacy code page"},
        {"source.c", "UTF-8"},
    };
    for (const auto& [name, encoding] : encodings) {
        const Plausibility verdict = Judge(ReadBytes(kCorpus + "/" + name));
        EXPECT_EQ(verdict.because, PlausibleBecause::Text) << name;
        EXPECT_EQ(verdict.detail, encoding) << name;
    }
}

TEST(Plausibility, KnownTypesAreNamed) {
    const std::map<std::string, std::string> types = {
        {"image.png", "image/png"},
        {"bundle.txt.xz", "application/x-xz"},
        {"archive.7z", "application/x-7z-compressed"},
        {"sound-id3.mp3", "MPEG audio with an ID3v2 tag"},
        {"font.woff2", "font/woff2"},
        {"doc.docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"sound-noise.mp3", "MPEG audio frames"},
        {"sound-noise.mp2", "MPEG audio frames"},
        {"sound-noise.aac", "AAC audio frames"},
        {"encrypted.openssl", "OpenSSL encrypted data"},
        {"encrypted.gpg", "OpenPGP encrypted data"},
        {"encrypted-to-keys.gpg", "OpenPGP encrypted data"},
        // Numbers as random as a wrong password's output; the database names some of these by
        // a few bytes, and signatures not at all.
        {"keys.pgp", "OpenPGP keys or signed data"},
        {"secret-key.pgp", "OpenPGP keys or signed data"},
        {"secret-key-clear.pgp", "OpenPGP keys or signed data"},
        {"readme.md.sig", "OpenPGP keys or signed data"},
        {"readme.md.ed25519.sig", "OpenPGP keys or signed data"},
        {"signed.gpg", "OpenPGP keys or signed data"},
        {"signed-uncompressed.gpg", "OpenPGP keys or signed data"},
        {"signed-bzip2.gpg", "OpenPGP keys or signed data"},
        {"keys-p384.pgp", "OpenPGP keys or signed data"},      // a curve named with a zero byte
        {"secret-subkeys.pgp", "OpenPGP keys or signed data"}, // a stub of no cipher
        {"signed-from-pipe.gpg", "OpenPGP keys or signed data"},
    };
    for (const auto& [name, type] : types) {
        const Plausibility verdict = Judge(ReadBytes(kCorpus + "/" + name));
        EXPECT_EQ(verdict.because, PlausibleBecause::KnownType) << name;
        EXPECT_EQ(verdict.detail, type) << name;
    }
}

// gpg --sign --compress-algo bzip2 of a picture, an archive or a program: the first block
// outruns the sample, so bzip2 has given nothing of it yet.
TEST(Plausibility, ABzip2MessageWhoseFirstBlockOutrunsTheSampleIsNamed) {
    Bytes plain = Random(300 * 1024, 11);
    Bytes packed(plain.size() * 2);
    auto packedSize = static_cast<unsigned>(packed.size());
    ASSERT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(packed.data()), &packedSize,
                                       reinterpret_cast<char*>(plain.data()),
                                       static_cast<unsigned>(plain.size()), 6, 0, 0),
              BZ_OK);
    Bytes message{0xA3, 0x03};
    message.insert(message.end(), packed.begin(), packed.begin() + packedSize);
    const Plausibility verdict = Judge(message);
    EXPECT_TRUE(verdict.plausible);
    EXPECT_EQ(verdict.detail, "OpenPGP keys or signed data");
    // The same header before the block's start as a wrong password would give it.
    Bytes garbled = message;
    const Bytes noise = Random(garbled.size() - 20, 12);
    std::copy(noise.begin(), noise.end(), garbled.begin() + 20);
    EXPECT_FALSE(Judge(garbled).plausible) << Describe(Judge(garbled));
}

// Data as random as a wrong password's output, but for its header or its frames' headers.
TEST(Plausibility, EncryptedDataAndFramedStreamsPassByTheirHeaders) {
    const auto behind = [](std::string header, std::size_t size, unsigned seed) {
        Bytes bytes(header.begin(), header.end());
        const Bytes body = Random(size, seed);
        bytes.insert(bytes.end(), body.begin(), body.end());
        return bytes;
    };
    const auto packets = [](std::size_t count, std::size_t packet, std::size_t syncAt) {
        Bytes bytes = Random(count * packet, 5);
        for (std::size_t at = syncAt; at < bytes.size(); at += packet) {
            bytes[at] = 0x47;
        }
        return bytes;
    };
    const std::map<std::string, Bytes> named = {
        {"KeePass 2 database", behind("\x03\xD9\xA2\x9A\x67\xFB\x4B\xB5", 4096, 1)},
        {"LUKS encrypted volume", behind(std::string("LUKS\xBA\xBE\0\2", 8), 4096, 2)},
        {"age encrypted file", behind("age-encryption.org/v1\n-> X25519 ab\n", 4096, 3)},
        {"MPEG transport stream", packets(40, 188, 0)},
        {"MPEG transport stream", packets(40, 192, 4)},
    };
    for (const auto& [kind, bytes] : named) {
        const Plausibility verdict = Judge(bytes);
        EXPECT_EQ(verdict.because, PlausibleBecause::KnownType) << kind;
        EXPECT_EQ(verdict.detail, kind);
    }

    // An OpenPGP key or signature whose numbers do not add up to its length, or that is cut
    // short, is no key or signature.
    const auto changed = [](const std::string& name, std::size_t at, unsigned char value) {
        Bytes bytes = ReadBytes(kCorpus + "/" + name);
        bytes[at] = value;
        return bytes;
    };
    Bytes cutSignature = ReadBytes(kCorpus + "/readme.md.sig");
    cutSignature.pop_back();
    const std::vector<Bytes> notPgp = {
        changed("readme.md.sig", 0x08, 0x34),  // the hashed subpackets' length, one short
        changed("keys.pgp", 0x0A, 0x09),       // the RSA modulus' bit count, one byte off
        changed("secret-key.pgp", 0x03, 0x05), // version 5
        cutSignature,
    };
    for (std::size_t i = 0; i < notPgp.size(); ++i) {
        EXPECT_NE(Judge(notPgp[i]).detail, "OpenPGP keys or signed data") << i;
    }

    // A header that is one byte off, or a single frame header, is no signature.
    std::vector<Bytes> broken = {
        behind("\x03\xD9\xA2\x9A\x67\xFB\x4B\xB4", 4096, 1),
        behind("Salted_", 4096, 4),
        behind("\xFF\xFB\x90\x64", 4096, 6),
        behind("\xFF\xF1\x50\x80", 4096, 7),
    };
    Bytes stream = packets(40, 188, 0);
    stream[188 * 20] = 0x48;
    broken.push_back(stream);
    // The real MP3 frames, but for the first one followed by noise.
    Bytes sound = ReadBytes(kCorpus + "/sound-noise.mp3");
    const Bytes noise = Random(sound.size(), 8);
    std::copy(noise.begin() + 300, noise.end(), sound.begin() + 300);
    broken.push_back(sound);
    for (std::size_t i = 0; i < broken.size(); ++i) {
        const Plausibility verdict = Judge(broken[i]);
        EXPECT_FALSE(verdict.plausible) << i << " " << Describe(verdict);
    }
}

// Files whose first 64 KiB are as random as a wrong password's output after a header of
// several fixed bytes: snap packages, lossless sound, keystores, repositories, and an MP3 whose
// cover art fills the sample. Made here as their headers before random bytes.
TEST(Plausibility, IncompressibleFilesWithLongHeadersPass) {
    const auto behind = [](std::string header, unsigned seed) {
        Bytes bytes(header.begin(), header.end());
        const Bytes body = Random(65536, seed);
        bytes.insert(bytes.end(), body.begin(), body.end());
        return bytes;
    };
    using namespace std::string_literals;
    // A PKCS #12 store of 2,515 bytes: one DER sequence that holds the whole file.
    Bytes store = behind("\x30\x82\x09\xCF\x02\x01\x03\x30\x82"s, 20);
    store.resize(2515);
    const std::vector<std::pair<std::string, Bytes>> files = {
        // A tag of 700 KB holding a JPEG, as a music library's files have.
        {"MPEG audio with an ID3v2 tag",
         behind("ID3\3\0\0\0\x2A\x76\x10"
                "APIC\0\x2A\x76\0\0\0image/jpeg\0\3\0\xFF\xD8\xFF\xE0"s,
                11)},
        {"Squashfs filesystem",
         behind("hsqs\7\0\0\0\xE9\x36\x17\x6B\0\0\2\0\x30\0\0\0\1\0\x11\0\xC0\0\1\0\4\0\0\0"s, 12)},
        {"WavPack audio", behind("wvpk\xCE\x21\2\0\x10\4\0\0\x40\xC4\x0A\0"s, 13)},
        {"True Audio", behind("TTA1\1\0\2\0\x18\0\x44\xAC\0\0\x40\xC4"s, 14)},
        {"Core Audio Format", behind("caff\0\1\0\0desc\0\0\0\0"s, 15)},
        {"LRZIP compressed data", behind("LRZI\0\6\x3C\xB2\2\0\0\0\0\0\0\0"s, 16)},
        {"DER encoded data", store},
        {"IVF video", behind("DKIF\0\0\x20\0VP90\x80\2\xE0\1"s, 21)},
        {"application/x-git", behind("PACK\0\0\0\2\0\0\0\x09\x90\7\x78\x9C"s, 17)},
        {"application/x-java-keystore", behind("\xFE\xED\xFE\xED\0\0\0\2\0\0\0\1"s, 18)},
        {"application/x-lzma", behind("\x5D\0\0\x80\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0"s, 19)},
    };
    for (const auto& [kind, bytes] : files) {
        const Plausibility verdict = Judge(bytes);
        EXPECT_EQ(verdict.because, PlausibleBecause::KnownType) << kind << " " << Describe(verdict);
        EXPECT_EQ(verdict.detail, kind);
    }
    // One field off, and the header is no longer enough: a DER sequence one byte longer than
    // the file, for one.
    Bytes longer = store;
    longer.pop_back();
    const std::vector<Bytes> broken = {
        longer,
        behind("ID3\3\0\0\0\x2A\xF6\x10"s, 11),
        behind("hsqs\7\0\0\0\xE9\x36\x17\x6B\0\0\3\0\x30\0\0\0\1\0\x11\0\xC0\0\1\0\4\0\0\0"s, 12),
        behind("wvpk\xCE\x21\2\0\x10\5\0\0"s, 13),
        behind("caff\0\2\0\0"s, 15),
        behind("\x5D\0\0\x80\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F\0"s, 19),
    };
    for (std::size_t i = 0; i < broken.size(); ++i) {
        const Plausibility verdict = Judge(broken[i]);
        EXPECT_FALSE(verdict.plausible) << i << " " << Describe(verdict);
    }
}

TEST(Plausibility, RandomBytesAreImplausible) {
    // libmagic alone names about one random sample in a hundred (a DOS program, MPEG audio, a
    // zlib stream), and one in seventy after a UTF-16 byte-order mark "text".
    int plausible = 0;
    std::string examples;
    for (unsigned seed = 0; seed < 300; ++seed) {
        for (std::size_t size : {std::size_t{256}, std::size_t{1024}}) {
            Bytes bytes = Random(size, seed);
            if (seed % 3 == 1) {
                bytes[0] = 0xFF, bytes[1] = 0xFE;
            } else if (seed % 3 == 2) {
                bytes[0] = 0xFE, bytes[1] = 0xFF;
            }
            const Plausibility verdict = Judge(bytes);
            if (verdict.plausible) {
                ++plausible;
                examples += " [" + std::to_string(seed) + "/" + std::to_string(size) + " " +
                            Describe(verdict) + "]";
            }
        }
    }
    // Random bytes after the first bytes of a frame, packet or OpenPGP header, or after the few
    // bytes by which the database names a gzip or bzip2 stream, a netpbm picture, an ID3 tag or a
    // DOS object.
    const Bytes starts[] = {{0xFF, 0xFB},
                            {0xFF, 0xFD},
                            {0xFF, 0xF1},
                            {0x47},
                            {0x8C, 0x0D, 0x04},
                            {0x1F, 0x8B},
                            {'B', 'Z', 'h', '9'},
                            {'P', '6', '\n'},
                            {'P', '4', ' '},
                            {'I', 'D', '3'},
                            {0x80, 0x9B, 0x00, 0x82, 0x1E},
                            {0x85, 0x01, 0x0C, 0x03},
                            {0x84, 0x5E, 0x03},
                            {0x99, 0x01, 0x0D, 0x04},             // a public key
                            {0x95, 0x03, 0xC6, 0x04},             // a secret key
                            {0x89, 0x01, 0x4B, 0x04, 0x00, 0x01}, // a signature
                            {0x90, 0x0D, 0x03, 0x00, 0x0A, 0x01}, // a one-pass signature
                            {0xA3, 0x01},                         // compressed OpenPGP data
                            {0xA3, 0x03, 'B', 'Z', 'h', '9'}};    // the same by bzip2
    for (unsigned seed = 0; seed < 50; ++seed) {
        for (const Bytes& start : starts) {
            Bytes bytes = Random(1024, seed + 1000);
            std::copy(start.begin(), start.end(), bytes.begin());
            const Plausibility verdict = Judge(bytes);
            if (verdict.plausible) {
                ++plausible;
                examples += " [" + std::to_string(seed) + " after " +
                            std::to_string(start.front()) + " " + Describe(verdict) + "]";
            }
        }
    }
    for (unsigned seed = 0; seed < 10; ++seed) {
        const Plausibility verdict = Judge(Random(kPlausibilitySample, seed));
        if (verdict.plausible) {
            ++plausible;
            examples += " [64 KiB " + Describe(verdict) + "]";
        }
    }
    EXPECT_EQ(plausible, 0) << examples;
}

TEST(Plausibility, SamplesTooSmallToJudgePassAndSayWhetherTheyAreText) {
    for (std::size_t size : {std::size_t{0}, std::size_t{16}, kSmallestJudgedSample - 1}) {
        const Bytes bytes = Random(size, 7);
        const Plausibility verdict = JudgePlausibility(bytes.data(), bytes.size());
        EXPECT_TRUE(verdict.plausible);
        EXPECT_EQ(verdict.because, PlausibleBecause::TooSmall) << size;
    }
    for (const std::string pin : {"PIN: 1234\n", "PIN: 1234 \xE2\x82\xAC"}) {
        const Plausibility note = Judge(Bytes(pin.begin(), pin.end()));
        EXPECT_TRUE(note.plausible);
        EXPECT_EQ(note.because, PlausibleBecause::Text) << pin;
    }
    // A whole file that ends inside a character is no text, as a wrong password's few bytes
    // often are not.
    for (const std::string cut : {"ab\xD7", "abc\xE2\x82", " \x1B\xD7"}) {
        const Plausibility verdict = Judge(Bytes(cut.begin(), cut.end()));
        EXPECT_TRUE(verdict.plausible);
        EXPECT_EQ(verdict.because, PlausibleBecause::TooSmall) << cut;
    }
    EXPECT_FALSE(Judge(Random(kSmallestJudgedSample, 7)).plausible);
}

TEST(Plausibility, AShortNoteIsJudgedToo) {
    // A few lines such as people keep encrypted, in UTF-8 and in a Windows code page.
    const std::string note =
        "Bank: 4711 0815\nDoor code: 2580#\nWi-Fi: correct horse battery "
        "staple\nAunt Maria's birthday: 3 March\nLocker: 17, left side\nBike lock: 0451\n";
    ASSERT_GE(note.size(), kSmallestJudgedSample);
    ASSERT_LT(note.size(), 256u);
    std::string latin1 = note;
    latin1[note.find('M')] = '\xC4'; // a byte of code page 1252 that is no UTF-8
    for (const std::string& text : {note, latin1}) {
        const Plausibility verdict = Judge(Bytes(text.begin(), text.end()));
        EXPECT_TRUE(verdict.plausible);
        EXPECT_EQ(verdict.because, PlausibleBecause::Text);
    }
    // The note encrypted under one password and decrypted under 500 others.
    const Bytes encrypted = Rc4("secret", Bytes(note.begin(), note.end()));
    std::string missed;
    for (int k = 0; k < 500; ++k) {
        const std::string wrong = "guess " + std::to_string(k);
        if (Judge(Rc4(wrong, encrypted)).plausible) {
            missed += " '" + wrong + "'";
        }
    }
    EXPECT_EQ(missed, "");
    EXPECT_TRUE(Judge(Rc4("secret", encrypted)).plausible);
}

TEST(Plausibility, EvenlySpreadPatternsPass) {
    for (const char* name : {"pattern-001023.bin", "pattern-001024.bin", "pattern-004096.bin"}) {
        const Bytes pattern =
            ReadBytes(std::string(VANTHE_TEST_DATA_DIR "/vectors/inputs/") + name);
        const Plausibility verdict = Judge(pattern);
        EXPECT_TRUE(verdict.plausible) << name;
        EXPECT_EQ(verdict.because, PlausibleBecause::Compresses) << name;
    }
    EXPECT_TRUE(Judge(ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/codepage/inputs/pattern-001025.bin"))
                    .plausible);
    EXPECT_TRUE(Judge(testing_support::Pattern(3 * kPlausibilitySample)).plausible);
}

TEST(Plausibility, OnlyTheFirstSampleIsJudged) {
    const Bytes text = ReadBytes(kCorpus + "/text-utf8.txt");
    Bytes randomFirst = Random(kPlausibilitySample, 3);
    Bytes textFirst;
    while (textFirst.size() < kPlausibilitySample) {
        textFirst.insert(textFirst.end(), text.begin(), text.end());
    }
    textFirst.resize(kPlausibilitySample);
    const Bytes tail = textFirst;
    randomFirst.insert(randomFirst.end(), tail.begin(), tail.end());
    textFirst.insert(textFirst.end(), randomFirst.begin(), randomFirst.begin() + 4096);
    EXPECT_FALSE(Judge(randomFirst).plausible);
    EXPECT_TRUE(Judge(textFirst).plausible);
}

TEST(Plausibility, WithoutTheTypeDatabaseTheOtherTestsStillJudge) {
    const char* saved = std::getenv("MAGIC");
    const std::string savedValue = saved ? saved : "";
    setenv("MAGIC", "/nonexistent/magic.mgc", 1);
    // On a thread of its own: a thread keeps the database it loaded first.
    Plausibility text, random, bitmap;
    std::thread([&] {
        text = Judge(ReadBytes(kCorpus + "/data.json"));
        random = Judge(Random(4096, 1));
        bitmap = Judge(ReadBytes(kCorpus + "/image.bmp"));
    }).join();
    if (saved != nullptr) {
        setenv("MAGIC", savedValue.c_str(), 1);
    } else {
        unsetenv("MAGIC");
    }
    EXPECT_EQ(random.shortfall, JudgeShortfall::NoTypeDatabase);
    EXPECT_TRUE(text.plausible);
    EXPECT_EQ(text.because, PlausibleBecause::Text);
    EXPECT_FALSE(random.plausible);
    EXPECT_TRUE(bitmap.plausible);
    EXPECT_EQ(bitmap.because, PlausibleBecause::Compresses);
}

TEST(Plausibility, ThreadsJudgeAtTheSameTime) {
    const std::vector<std::string> files = CorpusFiles();
    std::vector<Bytes> contents;
    for (const std::string& path : files) {
        contents.push_back(ReadBytes(path));
    }
    const Bytes random = Random(8192, 11);
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t i = t; i < contents.size(); i += 2) {
                wrong[t] += Judge(contents[i]).plausible ? 0 : 1;
                wrong[t] += Judge(random).plausible ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

} // namespace
