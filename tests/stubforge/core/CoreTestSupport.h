#pragma once

#include "stubforge/core/GenerationContext.h"

#include "sham/Config.h"

#include "platform/Bundle.h"

#include "TestSupport.h"

#include <memory>

namespace stubforge::testing {

using platform::testing::readFile;
using platform::testing::TemporaryDirectory;
using platform::testing::writeFile;

// The fake-data engine's files as the program ships them.
inline sham::Config shippedLocales() { return sham::Config::inResources(platform::Bundle::main().resourcePath()); }

// A writer's world in a temporary directory: a bundle folder, a settings
// suite choosing an output folder, a fixed clock and a seeded source.
struct WriterFixture {
    TemporaryDirectory root;
    std::filesystem::path bundleFolder = root.path() / "bundle";
    std::filesystem::path outputFolder = root.path() / "output";
    platform::FixedClock clock{std::chrono::sys_days(std::chrono::year(2026) / 12 / 8) + std::chrono::hours(6) +
                               std::chrono::minutes(50) + std::chrono::seconds(16)};
    platform::SeededRandom random{1};
    // What the writers log; a test reads it or leaves it.
    platform::CaptureLogSink log;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<platform::Bundle> bundle;
    platform::testing::ScopedEnvironment zone{"TZ", "UTC"};
    // Never fall back into the real data folder.
    platform::testing::ScopedEnvironment data{"XDG_DATA_HOME", (root.path() / "data").c_str()};

    WriterFixture() {
        std::filesystem::create_directories(bundleFolder);
        // The fake-data engine reads its locale files from the context's bundle.
        const std::filesystem::path engine(sham::Config::resourceBundleName);
        std::filesystem::create_directory_symlink(platform::Bundle::main().resourcePath() / engine,
                                                  bundleFolder / engine);
        defaults = std::make_unique<platform::UserDefaults>("settings", root.path() / "config");
        defaults->set("useCustomFolder", true);
        std::filesystem::create_directories(outputFolder);
        defaults->set("customFolderPath", "file://" + outputFolder.string());
        reloadBundle();
    }

    void reloadBundle() { bundle = std::make_unique<platform::Bundle>(bundleFolder); }

    GenerationContext context(const platform::CancellationToken* cancel = nullptr) {
        return GenerationContext(clock, random, *defaults, *bundle, cancel, log);
    }

    std::size_t outputCount() const { return platform::testing::entryCount(outputFolder); }
};

}  // namespace stubforge::testing
