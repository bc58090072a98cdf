#include "sham/Config.h"

#include <mutex>

namespace sham {

namespace {

struct Settings {
    std::mutex mutex;
    std::string localeDirectory = "Resources/Locales";
    std::string localeSubdirectory;
    std::string localeDirectoryPath;
};

Settings& settings() {
    static Settings instance;
    return instance;
}

std::string read(std::string Settings::*member) {
    Settings& all = settings();
    std::lock_guard lock(all.mutex);
    return all.*member;
}

void write(std::string Settings::*member, std::string value) {
    Settings& all = settings();
    std::lock_guard lock(all.mutex);
    all.*member = std::move(value);
}

}  // namespace

std::string Config::localeDirectory() { return read(&Settings::localeDirectory); }
void Config::setLocaleDirectory(std::string directory) { write(&Settings::localeDirectory, std::move(directory)); }

std::string Config::localeSubdirectory() { return read(&Settings::localeSubdirectory); }
void Config::setLocaleSubdirectory(std::string directory) {
    write(&Settings::localeSubdirectory, std::move(directory));
}

std::string Config::localeDirectoryPath() { return read(&Settings::localeDirectoryPath); }
void Config::setLocaleDirectoryPath(std::string path) { write(&Settings::localeDirectoryPath, std::move(path)); }

}  // namespace sham
