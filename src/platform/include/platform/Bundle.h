#pragma once

#include "platform/Value.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The application's resources and identity. The resource directory is
// share/stubforge beside the executable's bin/ folder, which holds in the
// build tree and after installation alike; STUBFORGE_RESOURCES overrides it.
class Bundle {
public:
    // A bundle over an explicit resource directory, reading its Info.plist.
    explicit Bundle(std::filesystem::path resourceDirectory);

    // The running program's bundle, found once per process.
    static const Bundle& main();

    const std::filesystem::path& resourcePath() const { return resourcePath_; }

    // The Info.plist dictionary (empty when the file is missing).
    const Value& infoDictionary() const { return info_; }
    // A text value of the Info.plist, when present and text.
    std::optional<std::string> infoString(std::string_view key) const;

    std::string bundleIdentifier() const;  // "CFBundleIdentifier", or ""
    std::string shortVersion() const;      // "CFBundleShortVersionString", or "Unknown"
    std::string buildNumber() const;       // "CFBundleVersion", or "Unknown"

    // The path of resource `name`.`extension` (extension may be empty or
    // given with or without its dot) in `subdirectory` of the resources, when
    // such a regular file exists. A subdirectory that is absolute or has a
    // ".." component finds nothing.
    std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view extension,
                                                         std::string_view subdirectory = {}) const;

private:
    std::filesystem::path resourcePath_;
    Value info_;
};

// The directory holding the running executable.
std::filesystem::path executableDirectory();

// Where the running program's bundle is found now: STUBFORGE_RESOURCES, else
// share/stubforge beside the executable's bin/ folder.
std::filesystem::path mainResourceDirectory();

}  // namespace platform
