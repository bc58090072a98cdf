#pragma once

#include "KitTestSupport.h"
#include "kit/core/CoreTexts.h"
#include "kit/core/Endpoints.h"
#include "kit/core/HLOApp.h"
#include "kit/core/Logger.h"

#include "platform/ProgrammerError.h"
#include "kit/core/ClassRegistry.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace kit::testing {

// A bundle of the test's own, made before anything reads the main bundle.
class FixtureBundle {
protected:
    explicit FixtureBundle(platform::Value::Dictionary info)
        : resources_("STUBFORGE_RESOURCES", (directory_.path() / "bundle").c_str()) {
        std::filesystem::create_directories(bundlePath());
        info.emplace("CFBundleIdentifier", platform::Value(kBundleIdentifier));
        platform::testing::writeFile(bundlePath() / "Info.plist", platform::Value(std::move(info)).toXmlPlist());
    }

    static constexpr const char* kBundleIdentifier = "org.stubforge.KitTests";

    std::filesystem::path bundlePath() const { return directory_.path() / "bundle"; }

private:
    platform::testing::TemporaryDirectory directory_;
    platform::testing::ScopedEnvironment resources_;
};

// A configuration test: its own bundle, every kit line captured at debug
// level, endpoints on 127.0.0.1, and nothing configured or registered. The
// binary runs each test in a fresh kit context (FreshKitContextPerTest.cpp).
class ConfigurationTest : protected FixtureBundle, public KitTest {
protected:
    static constexpr const char* kValidAppID = "1:123:ios:ab";
    static constexpr const char* kConsoleURL = "http://127.0.0.1:9/console";

    explicit ConfigurationTest(platform::Value::Dictionary info = {}) : FixtureBundle(std::move(info)) {
        Endpoints endpoints;
        endpoints.consoleURL = kConsoleURL;
        endpoints.setupGuideURL = "http://127.0.0.1:9/guide";
        Endpoints::setCurrent(endpoints);
        HLOSetLoggerMaximumLevel(LMULoggerLevelDebug);
        drainLines();
    }
    // The options file of the bundle; none removes it.
    void writeOptionsFile(std::optional<std::string> bytes) {
        const auto path = bundlePath() / "LumenService-Info.plist";
        if (bytes) {
            platform::testing::writeFile(path, *bytes);
        } else {
            std::filesystem::remove(path);
        }
        HLOOptions::resetDefaultOptions();
    }
    void writeOptions(platform::Value::Dictionary options) {
        writeOptionsFile(platform::Value(std::move(options)).toXmlPlist());
    }
    static platform::Value::Dictionary validOptions() {
        return {{"BUNDLE_ID", platform::Value(kBundleIdentifier)}, {"LUMEN_APP_ID", platform::Value(kValidAppID)}};
    }
    static HLOOptions optionsWithAppID(const char* appID) {
        HLOOptions options(appID, "sender");
        return options;
    }

    // The codes of the kit lines written so far, in order.
    std::vector<std::string> drainCodes() {
        std::vector<std::string> codes;
        static const std::regex code(R"(\[(I-[A-Z]{3}[0-9]{6})\])");
        for (const auto& line : drainLines()) {
            std::smatch match;
            if (std::regex_search(line, match, code)) {
                codes.push_back(match[1]);
            }
        }
        return codes;
    }
};

struct Raised {
    std::string name;
    std::string reason;
};

// What `body` raised, if anything.
inline std::optional<Raised> raisedBy(const std::function<void()>& body) {
    try {
        body();
    } catch (const platform::ProgrammerError& error) {
        return Raised{error.name(), error.reason()};
    }
    return std::nullopt;
}

}  // namespace kit::testing
