#include "platform/Bundle.h"

#include "platform/Error.h"
#include "platform/InputFile.h"

#include <cstdlib>
#include <system_error>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxInfoBytes = 1 << 20;

Value readInfo(const fs::path& file) {
    std::string bytes;
    try {
        bytes = InputFile(file).readAll(kMaxInfoBytes);
    } catch (const Error&) {
        return Value(Value::Dictionary{});  // the bundle's own file: its keys fall back to their defaults
    }
    auto parsed = Value::fromPlist(bytes);
    if (!parsed || !parsed->isDictionary()) {
        return Value(Value::Dictionary{});
    }
    return *parsed;
}

}  // namespace

fs::path mainResourceDirectory() {
    if (const char* value = std::getenv("STUBFORGE_RESOURCES"); value != nullptr && value[0] != '\0') {
        return value;
    }
    return executableDirectory().parent_path() / "share" / "stubforge";
}

fs::path executableDirectory() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path() : self.parent_path();
}

Bundle::Bundle(fs::path resourceDirectory)
    : resourcePath_(std::move(resourceDirectory)), info_(readInfo(resourcePath_ / "Info.plist")) {}

const Bundle& Bundle::main() {
    static const Bundle& bundle = *new Bundle(mainResourceDirectory());
    return bundle;
}

std::optional<std::string> Bundle::infoString(std::string_view key) const {
    if (const Value* value = info_.find(key); value != nullptr && value->isString()) {
        return *value->asString();
    }
    return std::nullopt;
}

std::string Bundle::bundleIdentifier() const { return infoString("CFBundleIdentifier").value_or(""); }
std::string Bundle::shortVersion() const { return infoString("CFBundleShortVersionString").value_or("Unknown"); }
std::string Bundle::buildNumber() const { return infoString("CFBundleVersion").value_or("Unknown"); }

std::optional<fs::path> Bundle::pathForResource(std::string_view name, std::string_view extension,
                                                std::string_view subdirectory) const {
    std::string fileName(name);
    if (!extension.empty()) {
        if (extension.front() != '.') {
            fileName += '.';
        }
        fileName += extension;
    }
    if (fileName.empty() || fileName.find('/') != std::string::npos) {
        return std::nullopt;
    }
    // The lookup stays inside the resources: no absolute folder, no "..".
    const fs::path folder(subdirectory);
    if (folder.has_root_path()) {
        return std::nullopt;
    }
    for (const auto& component : folder) {
        if (component == "..") {
            return std::nullopt;
        }
    }
    const fs::path candidate = resourcePath_ / folder / fileName;
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) {
        return candidate;
    }
    return std::nullopt;
}

}  // namespace platform
