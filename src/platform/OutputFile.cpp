#include "platform/OutputFile.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"
#include "platform/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kGatherBytes = 1 << 20;

// The umask read without changing it (umask(2) would race other threads).
mode_t processUmask() {
    static const mode_t mask = [] {
        mode_t value = 022;
        try {
            const std::string status = InputFile("/proc/self/status").readAll(1 << 20);
            const std::size_t line = status.find("\nUmask:");
            unsigned parsed = 0;
            if (line != std::string::npos && std::sscanf(status.c_str() + line, "\nUmask: %o", &parsed) == 1) {
                value = static_cast<mode_t>(parsed);
            }
        } catch (const Error&) {
            // Without /proc the usual umask is the best guess.
        }
        return value;
    }();
    return mask;
}

// Moves `from` to `to` unless `to` exists. renameat2 does it in one step;
// file systems without it get link() and unlink(), which refuse the same way.
int moveWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return -1;
    }
    if (::unlink(from.c_str()) != 0) {
        // Two names for one file would leave the temporary behind for good:
        // take the new name back and report the failure instead.
        const int reason = errno;
        ::unlink(to.c_str());
        errno = reason;
        return -1;
    }
    return 0;
}

// Temporary names are short and fixed, so that any destination name the
// file system allows also works for its temporary.
constexpr const char* kTemporaryPattern = ".stubforge-XXXXXX";

// A named temporary file in `folder` that cannot clash with an output name.
// An invalid descriptor, with errno set, when it cannot be made.
UniqueFd openNamedTemporary(const fs::path& folder, fs::path& temporary) {
    std::string pattern = (folder / kTemporaryPattern).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    UniqueFd descriptor(mkostemp(buffer.data(), O_CLOEXEC));
    if (!descriptor) {
        return descriptor;
    }
    // mkostemp makes the file private; give it the mode a plain creat()
    // would have had, or others sharing the folder could not read it.
    if (::fchmod(descriptor.get(), 0666 & ~processUmask()) != 0) {
        const int reason = errno;
        descriptor.reset();
        ::unlink(buffer.data());
        errno = reason;
        return descriptor;
    }
    temporary = buffer.data();
    return descriptor;
}

std::string procPath(int descriptor) { return "/proc/self/fd/" + std::to_string(descriptor); }

// An unnamed file in `folder` (O_TMPFILE): a killed process leaves nothing
// behind. Invalid with errno 0 when the kernel, the file system or a missing
// /proc cannot give us one, so that the caller takes the named road.
UniqueFd openUnnamedTemporary(const fs::path& folder) {
    UniqueFd descriptor(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!descriptor) {
        switch (errno) {
        case EOPNOTSUPP:
        case EISDIR:  // kernels without O_TMPFILE see a directory opened for writing
        case EINVAL:
        case ENOENT:  // so do some old kernels; a missing folder fails again on the named road
            errno = 0;
            break;
        default:
            break;
        }
        return descriptor;
    }
    // Publishing links the file through /proc; without /proc that cannot work.
    struct stat link {};
    if (::fstatat(AT_FDCWD, procPath(descriptor.get()).c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
        descriptor.reset();
        errno = 0;
    }
    return descriptor;
}

void writeAll(int descriptor, const std::byte* data, std::size_t size, const fs::path& shownPath) {
    while (size > 0) {
        const ssize_t wrote = ::write(descriptor, data, size);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw systemError(OutputFileError::couldNotWrite, "Could not write", shownPath, errno);
        }
        if (wrote == 0) {
            throw systemError(OutputFileError::couldNotWrite, "Could not write", shownPath, EIO);
        }
        data += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
}

}  // namespace

OutputFile::OutputFile(fs::path destination, const CancellationToken* cancel)
    : destination_(std::move(destination)), cancel_(cancel) {
    throwIfCancelled();
    const fs::path folder = destination_.has_parent_path() ? destination_.parent_path() : fs::path(".");
    descriptor_ = openUnnamedTemporary(folder);
    if (!descriptor_ && errno == 0) {
        descriptor_ = openNamedTemporary(folder, temporary_);
    }
    if (!descriptor_) {
        throw systemError(OutputFileError::couldNotCreate, "Could not create", destination_, errno);
    }
}

OutputFile::~OutputFile() {
    if (!committed_) {
        discard();
    }
}

void OutputFile::discard() noexcept {
    descriptor_.reset();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

void OutputFile::throwIfCancelled() const {
    if (cancel_ != nullptr && cancel_->isCancelled()) {
        throw Error(OutputFileError::cancelled, "Writing \"" + destination_.string() + "\" was cancelled");
    }
}

void OutputFile::write(std::span<const std::byte> bytes) {
    throwIfCancelled();
    if (!descriptor_) {
        throw Error(OutputFileError::alreadyClosed, "\"" + destination_.string() + "\" is already closed");
    }
    writeAll(descriptor_.get(), bytes.data(), bytes.size(), destination_);
}

void OutputFile::write(std::string_view text) { write(std::as_bytes(std::span(text.data(), text.size()))); }

void OutputFile::writeRepeated(std::span<const std::byte> pattern, std::uint64_t count) {
    if (count == 0) {
        return;
    }
    if (pattern.empty()) {
        throw Error(OutputFileError::nothingToRepeat, "Nothing to repeat into \"" + destination_.string() + "\"");
    }
    // Gather whole copies into one buffer of about a mebibyte (or one copy
    // when the pattern is larger), then write that buffer again and again.
    const std::size_t copies = std::max<std::size_t>(1, kGatherBytes / pattern.size());
    std::vector<std::byte> gathered;
    gathered.reserve(copies * pattern.size());
    for (std::size_t i = 0; i < copies && gathered.size() < count; ++i) {
        gathered.insert(gathered.end(), pattern.begin(), pattern.end());
    }
    while (count > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(count, gathered.size()));
        write(std::span(gathered.data(), chunk));
        count -= chunk;
    }
}

fs::path OutputFile::numberedPath(const fs::path& destination, int n) {
    const std::string suffix = std::string("_").append(std::to_string(n));
    fs::path numbered = destination;
    numbered.replace_filename(destination.stem().string() + suffix + destination.extension().string());
    return numbered;
}

fs::path OutputFile::commit() {
    throwIfCancelled();
    if (!descriptor_) {
        throw Error(OutputFileError::alreadyClosed, "\"" + destination_.string() + "\" is already closed");
    }
    // Write-back errors surface here (or at close), not as a saved file.
    if (::fsync(descriptor_.get()) != 0) {
        const int reason = errno;
        discard();
        throw systemError(OutputFileError::couldNotFinish, "Could not finish writing", destination_, reason);
    }
    const bool unnamed = temporary_.empty();
    if (!unnamed) {
        if (const int reason = descriptor_.close(); reason != 0) {
            discard();
            throw systemError(OutputFileError::couldNotFinish, "Could not finish writing", destination_, reason);
        }
    }
    const std::string source = unnamed ? procPath(descriptor_.get()) : std::string();
    // A name taken meanwhile is never overwritten: we try the next one.
    for (int n = 1; n < 10000; ++n) {
        const fs::path candidate = n == 1 ? destination_ : numberedPath(destination_, n);
        const int result = unnamed ? ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW)
                                   : moveWithoutReplacing(temporary_, candidate);
        if (result == 0) {
            if (unnamed) {
                if (const int reason = descriptor_.close(); reason != 0) {
                    ::unlink(candidate.c_str());
                    throw systemError(OutputFileError::couldNotFinish, "Could not finish writing", candidate, reason);
                }
            }
            temporary_.clear();
            committed_ = true;
            return candidate;
        }
        if (errno != EEXIST) {
            const int reason = errno;
            discard();
            throw systemError(OutputFileError::couldNotSave, "Could not save", candidate, reason);
        }
    }
    discard();
    throw systemError(OutputFileError::couldNotSave, "Could not save", destination_, EEXIST);
}

fs::path writeOutputFile(const fs::path& destination, std::span<const std::byte> bytes,
                         const CancellationToken* cancel) {
    OutputFile file(destination, cancel);
    file.write(bytes);
    return file.commit();
}

void replaceFileAtomically(const fs::path& path, std::span<const std::byte> bytes) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    fs::path temporary;
    UniqueFd descriptor = openNamedTemporary(folder, temporary);
    if (!descriptor) {
        throw systemError(OutputFileError::couldNotCreate, "Could not create", path, errno);
    }
    try {
        writeAll(descriptor.get(), bytes.data(), bytes.size(), path);
        if (::fsync(descriptor.get()) != 0) {
            throw systemError(OutputFileError::couldNotWrite, "Could not write", path, errno);
        }
        if (const int reason = descriptor.close(); reason != 0) {
            throw systemError(OutputFileError::couldNotFinish, "Could not finish writing", path, reason);
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            throw systemError(OutputFileError::couldNotSave, "Could not save", path, errno);
        }
    } catch (...) {
        descriptor.reset();
        ::unlink(temporary.c_str());
        throw;
    }
}

}  // namespace platform
