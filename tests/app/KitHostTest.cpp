// The program's side of the analytics kit: a Generate in the window reaches
// the kit's public class as "generate_click" with its parameters, and Qt's
// lifecycle is posted as the kit's notifications.
// The kit's headers come before Qt's, whose "slots" macro they would meet.
#include "kit/core/CoreTexts.h"
#include "kit/core/HLOApp.h"
#include "kit/core/HLOComponent.h"
#include "kit/core/HLOOptions.h"
#include "kit/core/KitContext.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"

#include "../stubforge/ui/UiTestSupport.h"

#include "stubforge/host/KitAnalyticsSink.h"
#include "stubforge/host/KitHost.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/Sidebar.h"

#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

#include <mutex>
#include <string>
#include <vector>

namespace stubforge::host {
namespace {

using kit::measurement::MSRAnalyticsEntryPoints;

// The facade's entry points as a test sees them: what arrives, in order.
class RecordingEntryPoints final : public MSRAnalyticsEntryPoints {
public:
    struct Call {
        std::string origin;
        std::string name;
        Parameters parameters;
    };

    void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({std::string(origin), std::string(name), parameters});
    }
    void logInternalEventWithOrigin(std::string_view, std::string_view, const Parameters&) override {}
    void setUserPropertyString(const std::optional<std::string>&, std::string_view) override {}
    void setInternalUserProperty(const std::optional<platform::Value>&, std::string_view, std::string_view) override {}
    ListenerToken addLogEventListener(LogEventListener) override { return nullptr; }
    void removeLogEventListener(const ListenerToken&) override {}

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;  // guarded by mutex_
};

// Every lifecycle notification posted, by name, in order.
class LifecycleJournal {
public:
    LifecycleJournal() {
        for (const std::string_view name : {kit::core_texts::kApplicationDidFinishLaunchingNotification,
                                            kit::core_texts::kApplicationDidBecomeActiveNotification,
                                            kit::core_texts::kApplicationWillResignActiveNotification,
                                            kit::core_texts::kWindowDidResignKeyNotification,
                                            kit::core_texts::kApplicationWillTerminateNotification}) {
            tokens_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
                std::string(name), nullptr, [this, name](const platform::Notification&) {
                    std::lock_guard lock(mutex_);
                    names_.emplace_back(name);
                }));
        }
    }
    ~LifecycleJournal() {
        for (const auto token : tokens_) {
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        }
    }
    std::vector<std::string> names() {
        std::lock_guard lock(mutex_);
        return names_;
    }
    std::vector<std::string> drain() {
        std::lock_guard lock(mutex_);
        return std::exchange(names_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> names_;  // guarded by mutex_
    std::vector<platform::NotificationCenter::Token> tokens_;
};

}  // namespace

class KitHostTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // As main() does, once per process: the journal sees the first turn
        // of the loop.
        journal_ = std::make_unique<LifecycleJournal>();
        installKitMainQueue();
        connectKitLifecycle(*qApp);
    }

    // Each test a kit context of its own: the kit's state ends with it.
    void init() {
        context_ = std::make_unique<kit::KitContext>();
        world_ = std::make_unique<ui::testing::UiWorld>();
    }

    void cleanup() {
        world_.reset();
        context_.reset();
    }

    void generateReachesTheKit() {
        const auto entryPoints = std::make_shared<RecordingEntryPoints>();
        kit::measurement::MSRAnalytics::installSeams({nullptr, nullptr, nullptr, entryPoints, nullptr});
        kit::HLOOptions options("1:123:ios:ab", "sender");
        kit::HLOApp::configureWithOptions(&options);

        KitAnalyticsSink sink;
        ui::WindowServices services = world_->services();
        services.analytics = &sink;
        ui::MainWindow window(services);
        window.show();
        window.sidebar().select(FileExtension::txt);
        auto* size = window.findChild<QLineEdit*>("fileSizeInput");
        QVERIFY(size != nullptr);
        size->selectAll();
        QTest::keyClicks(size, "0.01");
        QPushButton* generate = window.form().generateButton();
        QVERIFY(generate->isEnabled());
        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(generate->isEnabled(), ui::testing::kEventCeilingMs);

        const auto calls = entryPoints->calls();
        QCOMPARE(calls.size(), std::size_t{1});
        QCOMPARE(calls[0].origin, std::string("app"));
        QCOMPARE(calls[0].name, std::string("generate_click"));
        const platform::Value::Dictionary expected{
            {"file_type", platform::Value("txt")},
            {"app_version", platform::Value("Stubforge v" + platform::Bundle::main().shortVersion() + " (" +
                                            platform::Bundle::main().buildNumber() + ")")}};
        QVERIFY(calls[0].parameters == expected);
    }

    void lifecycleBecomesTheKitsNotifications() {
        using namespace kit::core_texts;
        // Posted on the first turn of the loop after the start.
        QTRY_VERIFY_WITH_TIMEOUT(contains(journal_->names(), kApplicationDidFinishLaunchingNotification),
                                 ui::testing::kEventCeilingMs);
        // From a known state: inactive, no window focused.
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        emit qApp->focusWindowChanged(nullptr);
        journal_->drain();

        QWindow window;
        emit qApp->applicationStateChanged(Qt::ApplicationActive);
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        emit qApp->applicationStateChanged(Qt::ApplicationHidden);
        emit qApp->focusWindowChanged(&window);
        emit qApp->focusWindowChanged(nullptr);
        emit qApp->focusWindowChanged(nullptr);
        // The private signal can be raised only through the meta-object.
        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));

        const std::vector<std::string> expected{
            std::string(kApplicationDidBecomeActiveNotification), std::string(kApplicationWillResignActiveNotification),
            std::string(kWindowDidResignKeyNotification), std::string(kApplicationWillTerminateNotification)};
        const auto posted = journal_->drain();
        std::string seen;
        for (const auto& name : posted) {
            seen += name + " ";
        }
        QVERIFY2(posted == expected, seen.c_str());
    }

private:
    static bool contains(const std::vector<std::string>& names, std::string_view name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    std::unique_ptr<LifecycleJournal> journal_;
    std::unique_ptr<kit::KitContext> context_;
    std::unique_ptr<ui::testing::UiWorld> world_;
};

}  // namespace stubforge::host

QTEST_MAIN(stubforge::host::KitHostTest)
#include "KitHostTest.moc"
