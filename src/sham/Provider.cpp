#include "sham/Provider.h"

#include "LocaleFileCache.h"
#include "sham/Config.h"

#include "platform/Bundle.h"

namespace sham {

namespace fs = std::filesystem;

namespace {

const platform::Bundle& engineBundle() {
    static const platform::Bundle bundle(platform::Bundle::main().resourcePath() /
                                         std::string(Config::resourceBundleName));
    return bundle;
}

// A locale names a file, never a path.
bool isPlainName(std::string_view locale) {
    return !locale.empty() && locale.find('/') == std::string_view::npos && locale != "." && locale != "..";
}

}  // namespace

Provider::Provider() = default;

Provider::Provider(fs::path resourceBundle) : resourceBundle_(std::move(resourceBundle)) {}

std::optional<fs::path> Provider::localePath(std::string_view locale) const {
    if (!isPlainName(locale)) {
        return std::nullopt;
    }
    std::optional<platform::Bundle> ownBundle;
    if (!resourceBundle_.empty()) {
        ownBundle.emplace(resourceBundle_);
    }
    const platform::Bundle& bundle = ownBundle ? *ownBundle : engineBundle();

    std::optional<fs::path> path =
        bundle.pathForResource(locale, Config::localeFileExtension, Config::localeDirectory());
    if (!path) {
        path = bundle.pathForResource(locale, Config::localeFileExtension, Config::localeSubdirectory());
    }
    if (const std::string directory = Config::localeDirectoryPath(); !directory.empty()) {
        path = fs::path(directory) / (std::string(locale) + "." + std::string(Config::localeFileExtension));
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
