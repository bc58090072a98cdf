#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace stubforge::detail {

// A bundle resource opened for reading. Plain descriptors rather than
// streams, so that a failure reports the errno of the failing call and not
// whatever an earlier call left behind. Failures throw platform::Error in
// the writer's domain with the fixed code EIO (the errno would read as one
// of the writer's own codes) and a message naming the file and the reason.
class ResourceFile {
public:
    // `what` names the file in messages, e.g. "base file".
    ResourceFile(std::filesystem::path path, std::string_view what, std::string_view errorDomain);
    ~ResourceFile();
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    // Fills as much of `buffer` as the file still holds; 0 at its end.
    std::size_t read(std::span<std::byte> buffer);

private:
    [[noreturn]] void fail(int errorNumber) const;

    std::filesystem::path path_;
    std::string what_;
    std::string errorDomain_;
    int descriptor_ = -1;
};

}  // namespace stubforge::detail
