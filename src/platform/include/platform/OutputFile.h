#pragma once

#include "platform/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>

namespace platform {

// Set from any thread; writers check it between chunks.
class CancellationToken {
public:
    void cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
    bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> cancelled_{false};
};

// Writes one output file safely: the bytes go to an unnamed file in the
// destination folder (O_TMPFILE; where the file system lacks it, a hidden
// ".stubforge-XXXXXX" file made with O_EXCL), and only a complete, synced
// file is linked into place, never over an existing one. Until commit()
// succeeds, destroying the object discards the file, so a failed or
// cancelled write leaves nothing behind (and with O_TMPFILE neither does a
// killed process). Every failure throws platform::Error (domain
// "OutputFile") naming the file and the OS reason.
class OutputFile {
public:
    // Opens a temporary file beside `destination`. The folder must exist.
    explicit OutputFile(std::filesystem::path destination, const CancellationToken* cancel = nullptr);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes all of `bytes`, retrying short writes and EINTR; throws when
    // cancelled or when the write fails.
    void write(std::span<const std::byte> bytes);
    void write(std::string_view text);

    // Writes `count` bytes made of whole repetitions of `pattern`, the last
    // one cut short, gathering many copies per write call.
    void writeRepeated(std::span<const std::byte> pattern, std::uint64_t count);

    // Syncs and closes the file, then links it into place. When the
    // destination name is taken, "_2", "_3", … go before the extension.
    // Returns the path the file now has.
    std::filesystem::path commit();

    // The destination with "_n" before its extension, for n >= 2.
    static std::filesystem::path numberedPath(const std::filesystem::path& destination, int n);

private:
    void throwIfCancelled() const;
    void discard() noexcept;

    std::filesystem::path destination_;
    std::filesystem::path temporary_;  // empty for an unnamed (O_TMPFILE) file
    const CancellationToken* cancel_;
    UniqueFd descriptor_;
    bool committed_ = false;
};

// Writes a whole file in one go through OutputFile, returning the final path.
std::filesystem::path writeOutputFile(const std::filesystem::path& destination, std::span<const std::byte> bytes,
                                      const CancellationToken* cancel = nullptr);

// Replaces `path` atomically with `bytes` (temporary file, fsync, rename).
// For settings files: unlike OutputFile it does replace an existing file.
// On failure the previous file stays as it was.
void replaceFileAtomically(const std::filesystem::path& path, std::span<const std::byte> bytes);

}  // namespace platform
