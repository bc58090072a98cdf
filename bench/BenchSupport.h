#pragma once

#include "BenchTiming.h"

#include "stubforge/core/GenerationContext.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

// A scratch folder on the file system of the build tree (not tmpfs), so
// that figures compare with dd on the same disk.
inline std::filesystem::path scratchFolder(const char* name) {
    std::filesystem::path folder = std::filesystem::current_path() / (std::string(".bench-") + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// Seconds dd takes to write 1,000 MiB with a final fsync into `folder`.
inline double ddSeconds(const std::filesystem::path& folder) {
    const std::string command =
        "dd if=/dev/zero of='" + (folder / "dd.bin").string() + "' bs=1M count=1000 conv=fsync status=none";
    const double seconds = secondsFor([&] {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "dd failed\n");
        }
    });
    std::filesystem::remove(folder / "dd.bin");
    return seconds;
}

// A writer's world in a scratch folder: settings that send output to
// <folder>/out, a seeded source, the real clock and bundle.
class WriterWorld {
public:
    explicit WriterWorld(const std::filesystem::path& folder)
        : outputFolder_(folder / "out"), defaults_("bench", folder / "config"), random_(1) {
        std::filesystem::create_directories(outputFolder_);
        defaults_.set("useCustomFolder", true);
        defaults_.set("customFolderPath", outputFolder_.string());
    }

    const std::filesystem::path& outputFolder() const { return outputFolder_; }
    stubforge::GenerationContext context() {
        return stubforge::GenerationContext(platform::systemClock(), random_, defaults_, platform::Bundle::main());
    }

private:
    std::filesystem::path outputFolder_;
    platform::UserDefaults defaults_;
    platform::SeededRandom random_;
};

}  // namespace bench
