#pragma once

#include "platform/InputFile.h"

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace stubforge::detail {

// A bundle resource opened for reading. Failures throw platform::Error in
// the writer's domain with the writer's code for an unreadable file, a
// message naming the file and the reason, and the file's own error (with
// the OS reason) underneath.
class ResourceFile {
public:
    // `what` names the file in messages, e.g. "base file".
    ResourceFile(std::filesystem::path path, std::string_view what, std::string_view errorDomain, int errorCode);

    // Fills as much of `buffer` as the file still holds; 0 at its end.
    std::size_t read(std::span<std::byte> buffer);

private:
    std::string errorDomain_;
    int errorCode_;
    platform::InputFile file_;
};

}  // namespace stubforge::detail
