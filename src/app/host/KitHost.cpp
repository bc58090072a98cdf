#include "stubforge/host/KitHost.h"

#include "kit.h"
#include "kit/core/CoreTexts.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "platform/ProgrammerError.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"

#include <QApplication>
#include <QMetaObject>
#include <QWindow>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace stubforge::host {

namespace {

// The kit's main queue: a queued call on Qt's event loop.
class QtMainQueue final : public platform::Executor {
public:
    void async(platform::Work work) override { QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection); }
};

void postLifecycle(std::string_view name) { platform::NotificationCenter::defaultCenter().post(std::string(name)); }

}  // namespace

void installKitMainQueue() { platform::MainQueue::install(std::make_shared<QtMainQueue>()); }

void connectKitLifecycle(QGuiApplication& application) {
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
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [] {
        // Events the window handed over are still on their way to the
        // store; the process ends right after this.
        kit::measurement::MSRAnalytics::drainForTermination(kQuitDrainTimeout);
        postLifecycle(kit::core_texts::kApplicationWillTerminateNotification);
    });
    // Posted once the event loop runs, as a launch that has finished.
    QMetaObject::invokeMethod(
        &application, [] { postLifecycle(kit::core_texts::kApplicationDidFinishLaunchingNotification); },
        Qt::QueuedConnection);
}

std::unique_ptr<kit::KitContext> startKit(QApplication& application) {
    installKitMainQueue();
    connectKitLifecycle(application);
    try {
        return kit::configure();
    } catch (const platform::ProgrammerError& error) {
        std::fprintf(stderr, "Stubforge: analytics are off: %s: %s\n", error.name().c_str(), error.reason());
    }
    return std::make_unique<kit::KitContext>();
}

}  // namespace stubforge::host
