#include "ResourceFile.h"

#include "platform/Error.h"

#include <cerrno>

namespace stubforge::detail {

namespace {

// The fixed code EIO in the writer's domain, keeping the message that names
// the file and the OS reason.
template <typename Action>
auto inWriterDomain(std::string_view errorDomain, Action action) {
    try {
        return action();
    } catch (const platform::Error& error) {
        throw platform::Error(std::string(errorDomain), EIO, error.what());
    }
}

}  // namespace

ResourceFile::ResourceFile(std::filesystem::path path, std::string_view what, std::string_view errorDomain)
    : errorDomain_(errorDomain),
      file_(inWriterDomain(errorDomain, [&] {
          return platform::InputFile(std::move(path), std::string(errorDomain), std::string(what));
      })) {}

std::size_t ResourceFile::read(std::span<std::byte> buffer) {
    return inWriterDomain(errorDomain_, [&] { return file_.read(buffer); });
}

}  // namespace stubforge::detail
