#pragma once

#include "TestSupport.h"
#include "kit/core/Environment.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/Logger.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kit::testing {

// A kit test's world: a fresh home with its own XDG folders, no launch
// switches, and the kit's lines in a capture sink. The kit's own state
// (logger, environment facts) belongs to the test's kit context.
class KitTest : public ::testing::Test {
protected:
    KitTest()
        : home_("HOME", root_.path().c_str()),
          data_("XDG_DATA_HOME", (root_.path() / "data").c_str()),
          config_("XDG_CONFIG_HOME", (root_.path() / "config").c_str()),
          cache_("XDG_CACHE_HOME", (root_.path() / "cache").c_str()) {
        captureLogOfCurrentContext();
    }

    const std::filesystem::path& root() const { return root_.path(); }

    // The logger and the launch arguments belong to the kit context: a
    // fixture that makes a context of its own after this constructor ran
    // gives it the same launch arguments (no switches) and capture sink.
    void captureLogOfCurrentContext() {
        setContextLaunchArguments({"kit-test"});
        LMULoggerInstallSink(sink_);
    }

    // The kit's lines written so far.
    std::vector<platform::LogEntry> drainLog() {
        LMULoggerFlush();
        return sink_->drain();
    }
    std::vector<std::string> drainLines() {
        LMULoggerFlush();
        return sink_->drainLines();
    }

private:
    platform::testing::TemporaryDirectory root_;
    platform::testing::ScopedEnvironment home_;
    platform::testing::ScopedEnvironment data_;
    platform::testing::ScopedEnvironment config_;
    platform::testing::ScopedEnvironment cache_;
    std::shared_ptr<platform::CaptureLogSink> sink_ = std::make_shared<platform::CaptureLogSink>();
};

}  // namespace kit::testing
