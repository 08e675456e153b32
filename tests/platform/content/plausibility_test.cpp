#include "platform/content/plausibility.h"
#include "platform/crypto/crypt_api.h"
#include "support/rc4.h"
#include "support/test_files.h"

#include <algorithm>
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
        const Plausibility verdict = Judge(ReadBytes(path));
        EXPECT_TRUE(verdict.plausible) << path;
        EXPECT_TRUE(verdict.typeDatabaseLoaded || verdict.because == PlausibleBecause::TooSmall)
            << path;
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
        {"sound-id3.mp3", "audio/mpeg"},
        {"font.woff2", "font/woff2"},
        {"doc.docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    };
    for (const auto& [name, type] : types) {
        const Plausibility verdict = Judge(ReadBytes(kCorpus + "/" + name));
        EXPECT_EQ(verdict.because, PlausibleBecause::KnownType) << name;
        EXPECT_EQ(verdict.detail, type) << name;
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
    for (unsigned seed = 0; seed < 10; ++seed) {
        const Plausibility verdict = Judge(Random(kPlausibilitySample, seed));
        if (verdict.plausible) {
            ++plausible;
            examples += " [64 KiB " + Describe(verdict) + "]";
        }
    }
    EXPECT_EQ(plausible, 0) << examples;
}

TEST(Plausibility, SamplesTooSmallToJudgePass) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{255}}) {
        const Bytes bytes = Random(size, 7);
        const Plausibility verdict = JudgePlausibility(bytes.data(), bytes.size());
        EXPECT_TRUE(verdict.plausible);
        EXPECT_EQ(verdict.because, PlausibleBecause::TooSmall);
    }
    EXPECT_FALSE(Judge(Random(256, 7)).plausible);
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
    const Plausibility text = Judge(ReadBytes(kCorpus + "/data.json"));
    const Plausibility random = Judge(Random(4096, 1));
    const Plausibility bitmap = Judge(ReadBytes(kCorpus + "/image.bmp"));
    if (saved != nullptr) {
        setenv("MAGIC", savedValue.c_str(), 1);
    } else {
        unsetenv("MAGIC");
    }
    EXPECT_FALSE(text.typeDatabaseLoaded);
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
