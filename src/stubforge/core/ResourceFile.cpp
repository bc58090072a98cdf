#include "ResourceFile.h"

#include "platform/Error.h"

namespace stubforge::detail {

namespace {

// The writer's code, keeping the message that names the file and the OS
// reason, with the file's error underneath.
template <typename Action>
auto inWriterDomain(std::string_view errorDomain, int errorCode, Action action) {
    try {
        return action();
    } catch (const platform::Error& error) {
        throw platform::Error(std::string(errorDomain), errorCode, error.what(), error);
    }
}

}  // namespace

ResourceFile::ResourceFile(std::filesystem::path path, std::string_view what, std::string_view errorDomain,
                           int errorCode)
    : errorDomain_(errorDomain), errorCode_(errorCode), file_(inWriterDomain(errorDomain, errorCode, [&] {
          return platform::InputFile(std::move(path), std::string(what));
      })) {}

std::size_t ResourceFile::read(std::span<std::byte> buffer) {
    return inWriterDomain(errorDomain_, errorCode_, [&] { return file_.read(buffer); });
}

}  // namespace stubforge::detail
