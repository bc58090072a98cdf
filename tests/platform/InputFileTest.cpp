#include "platform/InputFile.h"

#include "platform/Error.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace platform {
namespace {

namespace fs = std::filesystem;

TEST(InputFileTest, OnlyRegularFilesOpenAndNothingBlocks) {
    testing::TemporaryDirectory folder;
    const fs::path regular = folder.path() / "plain.txt";
    testing::writeFile(regular, "hello");
    const fs::path fifo = folder.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path zeroLink = folder.path() / "zero";
    fs::create_symlink("/dev/zero", zeroLink);
    const fs::path missing = folder.path() / "missing";
    struct Case {
        fs::path path;
        std::optional<InputFileError> code;  // none: opens
        int reason;                          // the OS reason underneath, 0 for none
        std::string message;
    };
    const Case cases[] = {
        {regular, std::nullopt, 0, ""},
        {folder.path(), InputFileError::couldNotRead, EISDIR,
         "Could not read the thing \"" + folder.path().string() + "\": Is a directory"},
        {fifo, InputFileError::notRegularFile, 0,
         "Could not read the thing \"" + fifo.string() + "\": not a regular file"},
        {zeroLink, InputFileError::notRegularFile, 0,
         "Could not read the thing \"" + zeroLink.string() + "\": not a regular file"},
        {missing, InputFileError::couldNotOpen, ENOENT,
         "Could not open the thing \"" + missing.string() + "\": No such file or directory"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.path.string());
        try {
            InputFile file(item.path, "the thing");
            EXPECT_FALSE(item.code);
            EXPECT_EQ(file.readAll(100), "hello");
            // The descriptor reads blocking again, and is not inherited.
            EXPECT_EQ(::fcntl(file.descriptor(), F_GETFL) & O_NONBLOCK, 0);
            EXPECT_NE(::fcntl(file.descriptor(), F_GETFD) & FD_CLOEXEC, 0);
        } catch (const Error& error) {
            ASSERT_TRUE(item.code) << error.what();
            EXPECT_TRUE(error.is(*item.code)) << error.domain() << " " << error.code();
            EXPECT_EQ(posixReason(error), item.reason);
            EXPECT_EQ(std::string(error.what()), item.message);
        }
    }
}

TEST(InputFileTest, ReadAllStopsPastItsLimit) {
    testing::TemporaryDirectory folder;
    const fs::path path = folder.path() / "ten";
    testing::writeFile(path, "0123456789");
    EXPECT_EQ(InputFile(path).readAll(10), "0123456789");
    try {
        InputFile(path).readAll(9);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_TRUE(error.is(InputFileError::tooLarge)) << error.domain() << " " << error.code();
        EXPECT_EQ(std::string(error.what()), "Could not read \"" + path.string() + "\": larger than 9 bytes");
    }
    // Files that show no size still hold bytes, and are bounded as they are read.
    const std::string status = InputFile("/proc/self/status").readAll(1 << 20);
    EXPECT_NE(status.find("Umask:"), std::string::npos);
    EXPECT_THROW(InputFile("/proc/self/status").readAll(16), Error);

    InputFile file(path);
    std::string buffer = "x";
    EXPECT_TRUE(file.read(buffer, 4));
    EXPECT_FALSE(file.read(buffer, 100));
    EXPECT_EQ(buffer, "x0123456789");
}

TEST(UniqueFdTest, OwnsAndReportsClose) {
    int pair[2];
    ASSERT_EQ(::pipe(pair), 0);
    UniqueFd reader(pair[0]);
    {
        UniqueFd writer(pair[1]);
        UniqueFd moved = std::move(writer);
        EXPECT_FALSE(writer);
        EXPECT_EQ(moved.get(), pair[1]);
    }
    // Every writer is closed: the reader sees the end.
    char byte = 0;
    EXPECT_EQ(::read(reader.get(), &byte, 1), 0);
    EXPECT_EQ(reader.close(), 0);
    EXPECT_FALSE(reader);
    EXPECT_EQ(::fcntl(pair[0], F_GETFD), -1);
    // A descriptor that is not open reports it.
    EXPECT_EQ(UniqueFd(pair[0]).close(), EBADF);
}

}  // namespace
}  // namespace platform
