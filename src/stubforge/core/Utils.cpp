#include "stubforge/core/Utils.h"

#include "platform/Error.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace stubforge::Utils {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLogSubsystem = "org.stubforge.core";
constexpr std::string_view kUtilsCategory = "Utils";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size() || hexDigit(text[i + 1]) < 0 || hexDigit(text[i + 2]) < 0) {
            return std::nullopt;
        }
        decoded += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
        i += 2;
    }
    if (decoded.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return decoded;
}

// Writes the probe file and removes it again; the error text on failure.
std::optional<std::string> probe(const fs::path& folder) {
    const fs::path probePath = folder / kProbeFileName;
    try {
        constexpr std::string_view text = "test";
        platform::replaceFileAtomically(probePath, std::as_bytes(std::span(text.data(), text.size())));
    } catch (const platform::Error& error) {
        return std::string(error.what());
    }
    // Another probe of the same folder (the window's, a writer's) may have
    // removed the file first; the write proved the folder all the same.
    if (::unlink(probePath.c_str()) != 0 && errno != ENOENT) {
        return "Could not remove \"" + probePath.string() + "\": " + std::strerror(errno);
    }
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> folderFromSetting(std::string_view text) {
    constexpr std::string_view scheme = "file://";
    if (text.substr(0, scheme.size()) == scheme) {
        std::string_view rest = text.substr(scheme.size());
        // file://localhost/path and file:///path both name /path.
        if (rest.substr(0, 9) == "localhost") {
            rest.remove_prefix(9);
        }
        if (rest.empty() || rest.front() != '/') {
            return std::nullopt;
        }
        const auto decoded = percentDecode(rest);
        if (!decoded) {
            return std::nullopt;
        }
        return fs::path(*decoded);
    }
    if (!text.empty() && text.front() == '/' && text.find('\0') == std::string_view::npos) {
        return fs::path(text);
    }
    return std::nullopt;
}

std::optional<std::string> folderProblem(const fs::path& folder) {
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (!fs::exists(status)) {
        return "The folder \"" + folder.string() + "\" does not exist.";
    }
    if (!fs::is_directory(status)) {
        return "\"" + folder.string() + "\" is not a folder.";
    }
    return probe(folder);
}

fs::path defaultOutputFolder() { return platform::paths::applicationSupport() / "Stubforge"; }

OutputFolder outputFolderURL(platform::UserDefaults& defaults, platform::LogSink& log) {
    OutputFolder result;
    if (defaults.boolForKey(kUseCustomFolderKey)) {
        const auto setting = defaults.stringForKey(kCustomFolderPathKey).value_or("");
        const auto folder = folderFromSetting(setting);
        std::error_code error;
        if (setting.empty()) {
            result.fallbackReason = "No custom folder is set.";
        } else if (!folder) {
            result.fallbackReason = "The custom folder \"" + setting + "\" is not a folder path.";
        } else if (const fs::file_status status = fs::status(*folder, error); !fs::is_directory(status)) {
            result.fallbackReason = "The custom folder \"" + folder->string() + "\"" +
                                    (fs::exists(status) ? " is not a folder." : " does not exist.");
        } else if (const auto problem = probe(*folder)) {
            const std::string line = "Custom folder not writable: " + *problem;
            log.log(kLogSubsystem, kUtilsCategory, platform::LogType::error, line);
            result.fallbackReason = line;
        } else {
            result.folder = *folder;
            return result;
        }
    }
    result.folder = defaultOutputFolder();
    std::error_code error;
    if (!fs::exists(result.folder, error)) {
        fs::create_directories(result.folder, error);
        if (error) {
            log.log(kLogSubsystem, kUtilsCategory, platform::LogType::error,
                    "Failed to create default folder: " + error.message());
        }
    }
    return result;
}

std::string timestamp(const platform::Clock& clock) { return platform::timestamp(clock.now()); }

}  // namespace stubforge::Utils
