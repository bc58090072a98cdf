#include "FileReader.h"

#include "csv/Messages.h"

#include "platform/Error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace csv::detail {

namespace {
constexpr const char* kDomain = "CSV";
constexpr std::size_t kReadAllChunk = 1 << 20;
}  // namespace

FileReader::FileReader(std::filesystem::path path) : path_(std::move(path)) {
    // Non-blocking so that a FIFO without a writer is refused below instead
    // of hanging the open.
    descriptor_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor_ < 0) {
        throw platform::systemError(kDomain, "Could not open", path_, errno);
    }
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) {
        const int error = errno;
        closeDescriptor();
        throw platform::systemError(kDomain, "Could not read", path_, error);
    }
    if (S_ISDIR(status.st_mode)) {
        closeDescriptor();
        throw platform::systemError(kDomain, "Could not read", path_, EISDIR);
    }
    // Devices, pipes and sockets may never end (/dev/zero) or block.
    if (!S_ISREG(status.st_mode)) {
        closeDescriptor();
        throw platform::Error(kDomain, EINVAL,
                              "Could not read \"" + path_.string() + "\": " + std::string(messages::kNotRegularFile));
    }
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (flags >= 0) {
        ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK);
    }
}

void FileReader::closeDescriptor() {
    ::close(descriptor_);
    descriptor_ = -1;
}

FileReader::~FileReader() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

bool FileReader::read(std::string& buffer, std::size_t count) {
    const std::size_t start = buffer.size();
    buffer.resize(start + count);
    std::size_t filled = 0;
    while (filled < count) {
        const ssize_t got = ::read(descriptor_, buffer.data() + start + filled, count - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            buffer.resize(start + filled);
            throw platform::systemError(kDomain, "Could not read", path_, error);
        }
        if (got == 0) {
            buffer.resize(start + filled);
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

std::string FileReader::readAll() {
    std::string bytes;
    struct stat status {};
    if (::fstat(descriptor_, &status) == 0 && status.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(status.st_size) + 1);
    }
    while (read(bytes, kReadAllChunk)) {
    }
    return bytes;
}

}  // namespace csv::detail
