#pragma once

#include "sham/Config.h"

#include "platform/Bundle.h"
#include "platform/Value.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sham {

// One locale file as read from disk: its bytes and, when they are JSON, the
// parsed document. Each file is read and parsed once per process and shared
// read-only by every provider that asks for it.
struct LocaleFile {
    std::string bytes;
    std::optional<platform::Value> document;
};

// Finds and reads locale files where its Config says, remembering what it
// read per locale.
class Provider {
public:
    using Translations = std::map<std::string, std::shared_ptr<const LocaleFile>, std::less<>>;

    explicit Provider(Config config);

    // The bytes of the locale's file, or null when it cannot be found or read.
    std::shared_ptr<const std::string> localeData(std::string_view locale);

    // The same file with its parsed document, or null.
    std::shared_ptr<const LocaleFile> localeFile(std::string_view locale);

    // The path a search for the locale settles on right now, if any.
    std::optional<std::filesystem::path> localePath(std::string_view locale) const;

    // Every locale read so far; entries are never removed.
    const Translations& translations() const { return translations_; }

    const Config& config() const { return config_; }

private:
    Config config_;
    std::optional<platform::Bundle> bundle_;
    Translations translations_;
};

}  // namespace sham
