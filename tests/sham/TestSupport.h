#pragma once

#include "sham/Config.h"

#include "platform/Log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sham::test {

inline std::filesystem::path sourceDirectory() {
    if (const char* value = std::getenv("STUBFORGE_SOURCE_DIR"); value != nullptr && value[0] != '\0') {
        return value;
    }
    return SHAM_TEST_SOURCE_DIR;
}

inline std::filesystem::path fixtureLocales() { return sourceDirectory() / "tests" / "sham" / "fixtures" / "Locales"; }

// A fresh folder, removed with everything in it at the end of the test.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sham-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    void write(const std::filesystem::path& relative, std::string_view text) const {
        const auto target = path_ / relative;
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << text;
    }

private:
    std::filesystem::path path_;
};

// An engine setting that reads only the locale files in `folder`.
inline Config localesIn(const std::filesystem::path& folder, platform::LogSink& log = platform::standardLogSink()) {
    Config config = Config::inFolder(folder);
    config.log = &log;
    return config;
}

// Fixture for tests on the small locales under fixtures/Locales; whatever
// the engine logs is kept in `log_`.
class FixtureLocales : public ::testing::Test {
protected:
    platform::CaptureLogSink log_;
    Config locales_ = localesIn(fixtureLocales(), log_);
};

}  // namespace sham::test
