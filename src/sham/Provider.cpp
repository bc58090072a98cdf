#include "sham/Provider.h"

#include "LocaleFileCache.h"

namespace sham {

namespace fs = std::filesystem;

namespace {

// A locale names a file, never a path.
bool isPlainName(std::string_view locale) {
    return !locale.empty() && locale.find('/') == std::string_view::npos && locale != "." && locale != "..";
}

}  // namespace

Provider::Provider(Config config) : config_(std::move(config)) {
    if (!config_.resourceBundle.empty()) {
        bundle_.emplace(config_.resourceBundle);
    }
}

std::optional<fs::path> Provider::localePath(std::string_view locale) const {
    if (!isPlainName(locale)) {
        return std::nullopt;
    }
    const std::string fileName = std::string(locale) + "." + std::string(Config::localeFileExtension);
    if (!config_.localeDirectoryPath.empty()) {
        return config_.localeDirectoryPath / fileName;
    }
    if (!bundle_) {
        return std::nullopt;
    }
    std::optional<fs::path> path =
        bundle_->pathForResource(locale, Config::localeFileExtension, config_.localeDirectory);
    if (!path) {
        path = bundle_->pathForResource(locale, Config::localeFileExtension, config_.localeSubdirectory);
    }
    return path;
}

std::shared_ptr<const LocaleFile> Provider::localeFile(std::string_view locale) {
    if (auto found = translations_.find(locale); found != translations_.end()) {
        return found->second;
    }
    const auto path = localePath(locale);
    if (!path) {
        return nullptr;
    }
    auto file = detail::cachedLocaleFile(*path);
    if (file) {
        translations_.emplace(std::string(locale), file);
    }
    return file;
}

std::shared_ptr<const std::string> Provider::localeData(std::string_view locale) {
    auto file = localeFile(locale);
    if (!file) {
        return nullptr;
    }
    return std::shared_ptr<const std::string>(file, &file->bytes);
}

}  // namespace sham
