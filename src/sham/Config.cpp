#include "sham/Config.h"

namespace sham {

Config Config::inResources(const std::filesystem::path& resourceDirectory) {
    Config config;
    config.resourceBundle = resourceDirectory / std::string(resourceBundleName);
    return config;
}

Config Config::inFolder(std::filesystem::path folder) {
    Config config;
    config.localeDirectoryPath = std::move(folder);
    return config;
}

}  // namespace sham
