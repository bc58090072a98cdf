#pragma once

#include <string>
#include <string_view>

namespace sham {

// Where the engine looks for its locale files. The settable members are read
// at every file search; they are guarded by one mutex, so setting them from
// a test or a start-up routine while engines are being built is safe.
struct Config {
    static constexpr std::string_view defaultLocale = "en";
    static constexpr std::string_view localeFileExtension = "json";

    // The engine's resource bundle inside the application's resource folder.
    static constexpr std::string_view resourceBundleName = "Sham_Sham.bundle";

    // Relative to the resource bundle; "Resources/Locales" by default.
    static std::string localeDirectory();
    static void setLocaleDirectory(std::string directory);

    // Second place asked in the resource bundle; empty (its top) by default.
    static std::string localeSubdirectory();
    static void setLocaleSubdirectory(std::string directory);

    // An explicit folder of locale files; when not empty it overrides the
    // resource bundle.
    static std::string localeDirectoryPath();
    static void setLocaleDirectoryPath(std::string path);
};

}  // namespace sham
