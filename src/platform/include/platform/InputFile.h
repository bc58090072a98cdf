#pragma once

#include "platform/ErrorCodes.h"
#include "platform/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// A regular file open for reading. Anything else is refused at open:
// directories (EISDIR), and devices, FIFOs and sockets (EINVAL, "not a
// regular file"), which may never end (/dev/zero) or block with no writer.
// Opening never blocks. Failures throw platform::Error (InputFileError) worded
// "Could not open|read [<noun> ]"<path>": <reason>", with the OS reason
// underneath where there is one.
class InputFile {
public:
    static constexpr std::string_view kNotRegularFile = "not a regular file";

    // `noun` names the file in messages ("base file"); empty for none.
    explicit InputFile(std::filesystem::path path, std::string noun = {});

    const std::filesystem::path& path() const noexcept { return path_; }
    int descriptor() const noexcept { return descriptor_.get(); }
    // The size fstat gave at open; /proc files show 0 and still hold bytes.
    std::uint64_t sizeAtOpen() const noexcept { return sizeAtOpen_; }

    // Fills as much of `buffer` as the file still holds; 0 at its end.
    std::size_t read(std::span<std::byte> buffer);
    // Appends up to `count` bytes to `buffer`; false once the end is reached.
    bool read(std::string& buffer, std::size_t count);
    // The rest of the file; throws (tooLarge) when it holds more than `limit`
    // bytes, having read no more than limit + 1 of them.
    std::string readAll(std::uint64_t limit);

private:
    [[noreturn]] void fail(InputFileError code, int errorNumber) const;
    [[noreturn]] void fail(InputFileError code, std::string_view reason) const;

    std::filesystem::path path_;
    std::string noun_;
    UniqueFd descriptor_;
    std::uint64_t sizeAtOpen_ = 0;
};

}  // namespace platform
