#pragma once

#include "platform/Log.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace sham {

// Where an engine looks for its locale files and where it reports what it
// cannot find. A plain value: each engine is handed its own, so engines over
// different bundles live side by side in one process.
struct Config {
    static constexpr std::string_view defaultLocale = "en";
    static constexpr std::string_view localeFileExtension = "json";

    // The engine's resource bundle inside the application's resource folder.
    static constexpr std::string_view resourceBundleName = "Sham_Sham.bundle";

    // The engine's resource bundle folder; empty for none.
    std::filesystem::path resourceBundle;
    // Relative to the resource bundle.
    std::string localeDirectory = "Resources/Locales";
    // Second place asked in the resource bundle; empty for its top.
    std::string localeSubdirectory;
    // An explicit folder of locale files; when not empty it overrides the
    // resource bundle.
    std::filesystem::path localeDirectoryPath;
    // Takes the not-found lines; must outlive every engine built with it.
    platform::LogSink* log = &platform::standardLogSink();

    // The engine's bundle inside an application's resource folder.
    static Config inResources(const std::filesystem::path& resourceDirectory);
    // A folder of locale files and nothing else.
    static Config inFolder(std::filesystem::path folder);
};

}  // namespace sham
