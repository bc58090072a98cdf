#include "platform/InputFile.h"

#include "platform/Error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace platform {

namespace {
constexpr std::size_t kReadAllChunk = 1 << 20;
}  // namespace

void UniqueFd::reset(int descriptor) noexcept {
    if (descriptor_ >= 0 && descriptor_ != descriptor) {
        ::close(descriptor_);
    }
    descriptor_ = descriptor;
}

int UniqueFd::close() noexcept {
    if (descriptor_ < 0) {
        return 0;
    }
    // Linux releases the descriptor even when close() fails, so it is never retried.
    const int result = ::close(release());
    return result == 0 || errno == EINTR ? 0 : errno;
}

InputFile::InputFile(std::filesystem::path path, std::string noun) : path_(std::move(path)), noun_(std::move(noun)) {
    // Non-blocking, so that a FIFO without a writer is refused below instead
    // of hanging the open.
    int opened = -1;
    do {
        opened = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) {
        fail(InputFileError::couldNotOpen, errno);
    }
    descriptor_.reset(opened);
    struct stat status {};
    if (::fstat(descriptor_.get(), &status) != 0) {
        fail(InputFileError::couldNotRead, errno);
    }
    if (S_ISDIR(status.st_mode)) {
        fail(InputFileError::couldNotRead, EISDIR);
    }
    if (!S_ISREG(status.st_mode)) {
        fail(InputFileError::notRegularFile, kNotRegularFile);
    }
    sizeAtOpen_ = static_cast<std::uint64_t>(status.st_size);
    const int flags = ::fcntl(descriptor_.get(), F_GETFL);
    if (flags < 0 || ::fcntl(descriptor_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        fail(InputFileError::couldNotRead, errno);
    }
}

void InputFile::fail(InputFileError code, std::string_view reason) const {
    std::string message = code == InputFileError::couldNotOpen ? "Could not open " : "Could not read ";
    if (!noun_.empty()) {
        message.append(noun_).append(" ");
    }
    message.append("\"").append(path_.string()).append("\": ").append(reason);
    throw Error(code, message);
}

void InputFile::fail(InputFileError code, int errorNumber) const {
    std::string message = code == InputFileError::couldNotOpen ? "Could not open " : "Could not read ";
    if (!noun_.empty()) {
        message.append(noun_).append(" ");
    }
    const Error reason = posixError(errorNumber);
    message.append("\"").append(path_.string()).append("\": ").append(reason.what());
    throw Error(code, message, reason);
}

std::size_t InputFile::read(std::span<std::byte> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(descriptor_.get(), buffer.data() + filled, buffer.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(InputFileError::couldNotRead, errno);
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

bool InputFile::read(std::string& buffer, std::size_t count) {
    const std::size_t start = buffer.size();
    buffer.resize(start + count);
    std::size_t got = 0;
    try {
        got = read(std::as_writable_bytes(std::span(buffer.data() + start, count)));
    } catch (...) {
        buffer.resize(start);
        throw;
    }
    buffer.resize(start + got);
    return got == count;
}

std::string InputFile::readAll(std::uint64_t limit) {
    if (sizeAtOpen_ > limit) {
        fail(InputFileError::tooLarge, "larger than " + std::to_string(limit) + " bytes");
    }
    std::string bytes;
    if (sizeAtOpen_ > 0) {
        bytes.reserve(static_cast<std::size_t>(std::min(sizeAtOpen_, limit) + 1));
    }
    // One byte past the limit tells a file of exactly `limit` bytes from a larger one.
    const std::uint64_t wanted = limit == std::numeric_limits<std::uint64_t>::max() ? limit : limit + 1;
    while (bytes.size() < wanted) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(kReadAllChunk, wanted - bytes.size()));
        if (!read(bytes, chunk)) {
            break;
        }
    }
    if (bytes.size() > limit) {
        fail(InputFileError::tooLarge, "larger than " + std::to_string(limit) + " bytes");
    }
    return bytes;
}

}  // namespace platform
