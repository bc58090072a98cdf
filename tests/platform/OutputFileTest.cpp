#include "platform/OutputFile.h"

#include "platform/Error.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <sys/resource.h>

#include <csignal>
#include <sys/stat.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::span<const std::byte> bytesOf(std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); }

TEST(OutputFileTest, WritesCommitsAndNumbersCollisions) {
    testing::TemporaryDirectory folder;
    const fs::path destination = folder.path() / "document_1MB_20260101000000.txt";
    EXPECT_EQ(writeOutputFile(destination, bytesOf("first")), destination);
    EXPECT_EQ(writeOutputFile(destination, bytesOf("second")), folder.path() / "document_1MB_20260101000000_2.txt");
    EXPECT_EQ(writeOutputFile(destination, bytesOf("third")), folder.path() / "document_1MB_20260101000000_3.txt");
    // Nothing was overwritten and no temporary file is left.
    EXPECT_EQ(testing::readFile(destination), "first");
    EXPECT_EQ(testing::entryCount(folder.path()), 3u);

    struct stat info {};
    ASSERT_EQ(::stat(destination.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "output files are not private";

    EXPECT_EQ(OutputFile::numberedPath("/a/b.tar", 2), "/a/b_2.tar");
    EXPECT_EQ(OutputFile::numberedPath("/a/noext", 4), "/a/noext_4");
}

TEST(OutputFileTest, RepeatedPatternIsExactAndCut) {
    testing::TemporaryDirectory folder;
    struct Case {
        std::string pattern;
        std::uint64_t count;
    };
    const Case cases[] = {{"abc", 10}, {"abc", 9}, {"abc", 2}, {"x", 3 << 20}, {std::string(3 << 20, 'y'), 5}};
    int index = 0;
    for (const auto& item : cases) {
        const fs::path destination = folder.path() / ("repeat" + std::to_string(index++));
        OutputFile file(destination);
        file.writeRepeated(bytesOf(item.pattern), item.count);
        EXPECT_EQ(file.bytesWritten(), item.count);
        file.commit();
        const std::string written = testing::readFile(destination);
        ASSERT_EQ(written.size(), item.count);
        for (std::size_t i = 0; i < written.size(); i += 997) {
            ASSERT_EQ(written[i], item.pattern[i % item.pattern.size()]) << "at " << i;
        }
    }
    OutputFile empty(folder.path() / "empty");
    EXPECT_THROW(empty.writeRepeated({}, 5), Error);
}

TEST(OutputFileTest, FolderUnderARegularFileFailsNamingTheFile) {
    testing::TemporaryDirectory folder;
    testing::writeFile(folder.path() / "plain", "x");
    const fs::path destination = folder.path() / "plain" / "out.png";
    try {
        writeOutputFile(destination, bytesOf("data"));
        FAIL() << "expected an error";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "OutputFile");
        EXPECT_NE(std::string(error.what()).find(destination.string()), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("Not a directory"), std::string::npos) << error.what();
    }
    EXPECT_EQ(testing::entryCount(folder.path()), 1u);
}

TEST(OutputFileTest, FileSizeLimitFailsAndLeavesNothing) {
    testing::TemporaryDirectory folder;
    const fs::path destination = folder.path() / "big.bin";
    const int status = testing::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100000, 100000};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 3;
        }
        try {
            OutputFile file(destination);
            file.writeRepeated(bytesOf("0123456789"), 1000000);
            file.commit();
        } catch (const Error& error) {
            const std::string message = error.what();
            return message.find(destination.string()) != std::string::npos &&
                           message.find("File too large") != std::string::npos
                       ? 0
                       : 4;
        }
        return 5;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::entryCount(folder.path()), 0u);
}

TEST(OutputFileTest, CancellationAndDestructionDiscard) {
    testing::TemporaryDirectory folder;
    CancellationToken token;
    {
        OutputFile file(folder.path() / "cancelled.txt", &token);
        file.write("partial");
        token.cancel();
        EXPECT_THROW(file.write("more"), Error);
        EXPECT_THROW(file.commit(), Error);
    }
    {
        OutputFile abandoned(folder.path() / "abandoned.txt");
        abandoned.write("partial");
    }
    EXPECT_EQ(testing::entryCount(folder.path()), 0u);
    EXPECT_THROW(OutputFile(folder.path() / "x", &token), Error);
}

TEST(OutputFileTest, ReplaceAtomicallyKeepsOldFileWhenRenameFails) {
    testing::TemporaryDirectory folder;
    const fs::path path = folder.path() / "settings.plist";
    replaceFileAtomically(path, bytesOf("old"));
    replaceFileAtomically(path, bytesOf("new"));
    EXPECT_EQ(testing::readFile(path), "new");

    const int status = testing::runInChild([&] {
        if (!testing::forbidRenames()) {
            return 77;
        }
        try {
            replaceFileAtomically(path, bytesOf("lost"));
        } catch (const Error&) {
            return 0;
        }
        return 5;
    });
    if (status == 77) {
        GTEST_SKIP() << "cannot install a seccomp filter here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::readFile(path), "new");
    EXPECT_EQ(testing::entryCount(folder.path()), 1u);
}

}  // namespace
}  // namespace platform
