#include "stubforge/host/KitHost.h"

#include "kit.h"
#include "kit/core/CoreTexts.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "platform/ProgrammerError.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWindow>

#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace stubforge::host {

namespace {

// The kit's main queue: blocks wait in a list of our own and a bare event
// asks Qt's loop to run the next one. A block handed to Qt itself would be
// freed on whichever thread drops Qt's last reference to it, sometimes the
// thread that queued it, after the loop ran it; Qt's own reference count is
// out of the sanitizer's sight, so that looked like a race. Here a block is
// run and freed on the loop's thread, and the hand-over is our lock.
class QtMainQueue final : public platform::Executor {
public:
    explicit QtMainQueue(QCoreApplication& application) : shared_(std::make_shared<Shared>()) {
        // The pump belongs to the application and dies with it; blocks
        // queued after that are dropped.
        shared_->pump = new Pump(shared_, &application);
    }

    void async(platform::Work work) override {
        std::unique_lock lock(shared_->mutex);
        if (shared_->pump == nullptr) {
            lock.unlock();
            return;  // `work` is freed here, outside the lock
        }
        shared_->waiting.push_back(std::move(work));
        // Under the lock, so the pump cannot be deleted in between.
        QCoreApplication::postEvent(shared_->pump, new QEvent(QEvent::User));
    }

private:
    class Pump;
    struct Shared {
        std::mutex mutex;
        Pump* pump = nullptr;                // guarded by mutex
        std::deque<platform::Work> waiting;  // guarded by mutex
    };

    class Pump final : public QObject {
    public:
        Pump(std::shared_ptr<Shared> shared, QObject* parent) : QObject(parent), shared_(std::move(shared)) {}

        ~Pump() override {
            std::deque<platform::Work> dropped;
            {
                std::lock_guard lock(shared_->mutex);
                shared_->pump = nullptr;
                dropped.swap(shared_->waiting);
            }
        }

        bool event(QEvent* event) override {
            if (event->type() != QEvent::User) {
                return QObject::event(event);
            }
            platform::Work next;
            {
                std::lock_guard lock(shared_->mutex);
                if (shared_->waiting.empty()) {
                    return true;
                }
                next = std::move(shared_->waiting.front());
                shared_->waiting.pop_front();
            }
            next();
            return true;
        }

    private:
        std::shared_ptr<Shared> shared_;
    };

    std::shared_ptr<Shared> shared_;
};

void postLifecycle(std::string_view name) { platform::NotificationCenter::defaultCenter().post(std::string(name)); }

}  // namespace

void installKitMainQueue() {
    platform::MainQueue::install(std::make_shared<QtMainQueue>(*QCoreApplication::instance()));
}

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
