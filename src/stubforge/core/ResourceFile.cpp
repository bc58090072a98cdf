#include "ResourceFile.h"

#include "platform/Error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace stubforge::detail {

ResourceFile::ResourceFile(std::filesystem::path path, std::string_view what, std::string_view errorDomain)
    : path_(std::move(path)), what_(what), errorDomain_(errorDomain) {
    do {
        descriptor_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    } while (descriptor_ < 0 && errno == EINTR);
    if (descriptor_ < 0) {
        fail(errno);
    }
}

ResourceFile::~ResourceFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

std::size_t ResourceFile::read(std::span<std::byte> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(descriptor_, buffer.data() + filled, buffer.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

void ResourceFile::fail(int errorNumber) const {
    throw platform::Error(errorDomain_, EIO,
                          "Could not read " + what_ + " \"" + path_.string() + "\": " + std::strerror(errorNumber));
}

}  // namespace stubforge::detail
