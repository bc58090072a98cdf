#include "stubforge/ui/AnalyticsSink.h"
#include "stubforge/ui/Icons.h"
#include "stubforge/ui/StubforgeApp.h"
#include "stubforge/ui/Updater.h"

#include "kit.h"
#include "kit/core/proxy/AppDelegateSwizzler.h"
#include "kit/core/CoreTexts.h"
#include "kit/core/LaunchArguments.h"

#include "platform/Bundle.h"
#include "platform/ProgrammerError.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"

#include <QApplication>
#include <QMetaObject>
#include <QStyleFactory>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The kit's main queue: a queued call on Qt's event loop.
class QtMainQueue final : public platform::Executor {
public:
    void async(platform::Work work) override { QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection); }
};

void postLifecycle(std::string_view name) { platform::NotificationCenter::defaultCenter().post(std::string(name)); }

// Starts the analytics kit. A missing or broken options file leaves the
// program running without analytics.
void startKit(QApplication& application) {
    platform::MainQueue::install(std::make_shared<QtMainQueue>());
    // Qt's lifecycle signals become the kit's notifications.
    QObject::connect(&application, &QGuiApplication::applicationStateChanged,
                     [previous = Qt::ApplicationInactive](Qt::ApplicationState state) mutable {
                         if (state == Qt::ApplicationActive) {
                             postLifecycle(kit::core_texts::kApplicationDidBecomeActiveNotification);
                         } else if (previous == Qt::ApplicationActive) {
                             postLifecycle(kit::core_texts::kApplicationWillResignActiveNotification);
                         }
                         previous = state;
                     });
    QObject::connect(&application, &QGuiApplication::focusWindowChanged, [hadFocus = false](QWindow* focused) mutable {
        if (hadFocus) {
            postLifecycle(kit::core_texts::kWindowDidResignKeyNotification);
        }
        hadFocus = focused != nullptr;
    });
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
                     [] { postLifecycle(kit::core_texts::kApplicationWillTerminateNotification); });
    // Posted once the event loop runs, as a launch that has finished.
    QMetaObject::invokeMethod(
        &application, [] { postLifecycle(kit::core_texts::kApplicationDidFinishLaunchingNotification); },
        Qt::QueuedConnection);
    try {
        kit::configure();
    } catch (const platform::ProgrammerError& error) {
        std::fprintf(stderr, "Stubforge: analytics are off: %s: %s\n", error.name().c_str(), error.reason());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto& bundle = platform::Bundle::main();
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Stubforge v%s (%s)\n", bundle.shortVersion().c_str(), bundle.buildNumber().c_str());
        return 0;
    }
    // Before Qt takes its own options out of argv.
    kit::setLaunchArguments(std::vector<std::string>(argv, argv + argc));
    QApplication application(argc, argv);
    QApplication::setApplicationName("Stubforge");
    QApplication::setApplicationVersion(QString::fromStdString(bundle.shortVersion()));
    QApplication::setDesktopFileName(QString::fromStdString(bundle.bundleIdentifier()));
    // One style on every desktop; the main window sets its own palette.
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setWindowIcon(stubforge::ui::applicationIcon());

    // The desktop hands the program no delegate callbacks yet: the kit's
    // interceptors attach to empty hooks.
    const auto appDelegateHooks = std::make_shared<kit::AppDelegateHooks>();
    kit::LMUAppDelegateSwizzler::setApplicationHooks(appDelegateHooks);
    startKit(application);

    // Events stay in the program until the analytics kit takes them.
    stubforge::ui::RecordingAnalyticsSink analytics;
    stubforge::ui::UnavailableUpdater updater;
    stubforge::ui::StubforgeApp app(stubforge::ui::WindowServices::standard(analytics), updater);
    app.show();
    return QApplication::exec();
}
