#pragma once

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace stubforge {

// Settings keys of the output folder.
inline constexpr std::string_view kUseCustomFolderKey = "useCustomFolder";
inline constexpr std::string_view kCustomFolderPathKey = "customFolderPath";
inline constexpr std::string_view kFolderBookmarkDataKey = "folderBookmarkData";
// Written into a custom folder and removed again to prove it is writable.
inline constexpr std::string_view kProbeFileName = ".stubforge_test_permissions";

struct OutputFolder {
    std::filesystem::path folder;
    // Why the custom folder was not used, when it was asked for and the
    // default folder was taken instead.
    std::optional<std::string> fallbackReason;
};

namespace Utils {

// The folder to write into: the custom folder when "useCustomFolder" is on
// and "customFolderPath" (a file URL or an absolute path) names a folder in
// which the probe file can be written and removed; otherwise "Stubforge"
// under the data home, created when missing. Never fails; problems are
// logged to `log` and reported in fallbackReason.
OutputFolder outputFolderURL(platform::UserDefaults& defaults, platform::LogSink& log);

// The local time as "yyyyMMddHHmmss".
std::string timestamp(const platform::Clock& clock);

// The folder a "customFolderPath" text names: a file URL (percent-decoded)
// or an absolute path. Nothing for any other text.
std::optional<std::filesystem::path> folderFromSetting(std::string_view text);

// Why `folder` cannot take output: it is missing, is no folder, or the
// probe file cannot be written into it and removed. Nothing when it can.
std::optional<std::string> folderProblem(const std::filesystem::path& folder);

// The default output folder, <data home>/Stubforge, without creating it.
std::filesystem::path defaultOutputFolder();

}  // namespace Utils
}  // namespace stubforge
