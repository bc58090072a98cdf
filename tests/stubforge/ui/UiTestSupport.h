#pragma once

#include "stubforge/ui/AnalyticsSink.h"
#include "stubforge/ui/MainWindow.h"

#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Random.h"
#include "platform/UserDefaults.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace stubforge::ui::testing {

// How long a window test waits for what it expects (a window shown, a
// condition met) before it fails: a minute, however busy the machine. A
// passing test never waits that long.
inline constexpr int kEventCeilingMs = 60'000;

// One test's world: fresh XDG folders (so the default output folder is the
// test's own), a settings suite in them, a captured log, a recording
// analytics sink and a desktop that only notes what it was asked to open.
class UiWorld {
public:
    UiWorld() {
        for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            const std::filesystem::path folder = root() / variable;
            std::filesystem::create_directories(folder);
            ::setenv(variable, folder.c_str(), 1);
        }
        defaults_ = std::make_unique<platform::UserDefaults>("org.stubforge.Stubforge",
                                                             root() / "XDG_CONFIG_HOME" / "Stubforge");
    }

    std::filesystem::path root() const { return directory_.path().toStdString(); }
    std::filesystem::path outputFolder() const { return root() / "XDG_DATA_HOME" / "Stubforge"; }
    platform::UserDefaults& defaults() { return *defaults_; }
    platform::CaptureLogSink& log() { return log_; }
    RecordingAnalyticsSink& analytics() { return analytics_; }
    const std::vector<QUrl>& openedUrls() const { return opened_; }

    // Services with the real writers unless `writer` is given.
    WindowServices services(Writer writer = {}) {
        WindowServices services = WindowServices::standard(analytics_);
        services.defaults = defaults_.get();
        services.log = &log_;
        if (writer) {
            services.writer = std::move(writer);
        }
        services.openUrl = [this](const QUrl& url) {
            opened_.push_back(url);
            return true;
        };
        services.revealFiles = [this](const QList<QUrl>& urls) {
            revealed_.push_back(urls);
            return fileManagerAnswers;
        };
        services.chooseTemplate = [this](QWidget*) { return templatePath; };
        services.chooseOutputFolder = [this](QWidget*) { return outputFolderChoice; };
        return services;
    }

    // What the template file chooser answers.
    QString templatePath;
    // What the output folder dialog answers; empty: cancelled.
    QString outputFolderChoice;
    // Whether a file manager takes the reveal call.
    bool fileManagerAnswers = true;
    const std::vector<QList<QUrl>>& revealedUrls() const { return revealed_; }

    // The regular files in the default output folder.
    std::vector<std::filesystem::path> outputFiles() const {
        std::vector<std::filesystem::path> files;
        std::error_code error;
        for (std::filesystem::directory_iterator entry(outputFolder(), error), end; !error && entry != end;
             entry.increment(error)) {
            files.push_back(entry->path());
        }
        return files;
    }

private:
    QTemporaryDir directory_;
    std::unique_ptr<platform::UserDefaults> defaults_;
    platform::CaptureLogSink log_;
    RecordingAnalyticsSink analytics_;
    std::vector<QUrl> opened_;
    std::vector<QList<QUrl>> revealed_;
};

}  // namespace stubforge::ui::testing
