#include "platform/OutputFile.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <sys/resource.h>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>

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

TEST(OutputFileTest, NamesUpToTheFileSystemLimitWork) {
    testing::TemporaryDirectory folder;
    for (const std::size_t length : {std::size_t{239}, std::size_t{250}, std::size_t{255}}) {
        const std::string name = std::string(length - 4, 'n') + ".txt";
        ASSERT_EQ(name.size(), length);
        const fs::path destination = folder.path() / name;
        EXPECT_EQ(writeOutputFile(destination, bytesOf("long")), destination) << length;
        EXPECT_EQ(testing::readFile(destination), "long");
        replaceFileAtomically(destination, bytesOf("replaced"));
        EXPECT_EQ(testing::readFile(destination), "replaced");
    }
    // The numbered name of a 250-byte name still fits.
    const fs::path destination = folder.path() / (std::string(246, 'n') + ".txt");
    EXPECT_EQ(writeOutputFile(destination, bytesOf("second")), OutputFile::numberedPath(destination, 2));
    EXPECT_EQ(testing::entryCount(folder.path()), 4u);
}

TEST(OutputFileTest, NoDirectoryEntryExistsUntilCommit) {
    testing::TemporaryDirectory folder;
    const int probe = ::open(folder.path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (probe < 0) {
        GTEST_SKIP() << "no O_TMPFILE here: the named temporary road is taken";
    }
    ::close(probe);
    const fs::path destination = folder.path() / "report.csv";

    // A process killed in the middle of writing leaves nothing behind.
    const int status = testing::runInChild([&] {
        OutputFile file(destination);
        file.write("partial");
        ::raise(SIGKILL);
        return 0;
    });
    EXPECT_EQ(status, -1);
    EXPECT_EQ(testing::entryCount(folder.path()), 0u);

    OutputFile file(destination);
    file.writeRepeated(bytesOf("row\n"), 16000);
    EXPECT_EQ(testing::entryCount(folder.path()), 0u);
    EXPECT_EQ(file.commit(), destination);
    EXPECT_EQ(testing::entryCount(folder.path()), 1u);
    EXPECT_EQ(testing::readFile(destination).size(), 16000u);
}

// From here on this process's opens with O_TMPFILE fail with EOPNOTSUPP, as
// on a file system without it. False where the filter cannot be installed.
bool forbidUnnamedFiles() {
#if defined(__x86_64__)
    constexpr std::uint32_t kFlagsLow = offsetof(seccomp_data, args[2]);  // little endian: low word
    constexpr std::uint32_t kOpenFlagsLow = offsetof(seccomp_data, args[1]);
    constexpr std::uint32_t kTmpfileBit = 020000000;  // O_TMPFILE without O_DIRECTORY
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_open, 4, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kFlagsLow),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kTmpfileBit, 4, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kOpenFlagsLow),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kTmpfileBit, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EOPNOTSUPP & SECCOMP_RET_DATA)),
    };
    return testing::installSeccompFilter(filter);
#else
    return false;
#endif
}

TEST(OutputFileTest, NamedTemporaryRoadWhereUnnamedFilesAreMissing) {
    testing::TemporaryDirectory folder;
    const fs::path destination = folder.path() / (std::string(246, 'n') + ".txt");
    const int status = testing::runInChild([&] {
        if (!forbidUnnamedFiles()) {
            return 77;
        }
        if (::open(folder.path().c_str(), O_TMPFILE | O_WRONLY, 0600) >= 0 || errno != EOPNOTSUPP) {
            return 3;
        }
        {
            OutputFile file(destination);
            file.write("first");
            // The named temporary is the one entry, whatever the destination.
            if (testing::entryCount(folder.path()) != 1) {
                return 4;
            }
            if (file.commit() != destination) {
                return 5;
            }
        }
        if (writeOutputFile(destination, bytesOf("second")) != OutputFile::numberedPath(destination, 2)) {
            return 6;
        }
        {
            OutputFile abandoned(folder.path() / "abandoned.txt");
            abandoned.write("partial");
        }
        return 0;
    });
    if (status == 77) {
        GTEST_SKIP() << "cannot install a seccomp filter here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::readFile(destination), "first");
    EXPECT_EQ(testing::readFile(OutputFile::numberedPath(destination, 2)), "second");
    EXPECT_EQ(testing::entryCount(folder.path()), 2u);
    struct stat info {};
    ASSERT_EQ(::stat(destination.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "output files are not private";
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
        EXPECT_TRUE(error.is(OutputFileError::couldNotCreate)) << error.domain() << " " << error.code();
        ASSERT_NE(error.underlyingError(), nullptr);
        EXPECT_EQ(error.underlyingError()->domain(), kPOSIXErrorDomain);
        EXPECT_EQ(error.underlyingError()->code(), ENOTDIR);
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

// From here on fchmod fails with EPERM in this process.
bool forbidFchmod() {
#if defined(__x86_64__)
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmod, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)),
    };
    return testing::installSeccompFilter(filter);
#else
    return false;
#endif
}

// A settings file that cannot get its usual mode would be private to us:
// the write fails instead, and leaves the old file and no temporary.
TEST(OutputFileTest, ReplaceAtomicallyFailsWhenTheModeCannotBeSet) {
    testing::TemporaryDirectory folder;
    const fs::path path = folder.path() / "settings.plist";
    replaceFileAtomically(path, bytesOf("old"));
    const int status = testing::runInChild([&] {
        if (!forbidFchmod()) {
            return 77;
        }
        try {
            replaceFileAtomically(path, bytesOf("new"));
        } catch (const Error& error) {
            return posixReason(error) == EPERM ? 0 : 6;
        }
        return 5;
    });
    if (status == 77) {
        GTEST_SKIP() << "cannot install a seccomp filter here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::readFile(path), "old");
    EXPECT_EQ(testing::entryCount(folder.path()), 1u);
}

}  // namespace
}  // namespace platform
