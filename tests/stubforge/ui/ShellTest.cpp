// The application shell: the fixed window, the menus, the updater item,
// the single Preferences window, and the settings the toolbar keeps.
#include "UiTestSupport.h"

#include "stubforge/ui/Palettes.h"
#include "stubforge/ui/StatusRow.h"
#include "stubforge/ui/StubforgeApp.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Updater.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include <thread>

namespace stubforge::ui {
namespace {

// An updater whose ability to check a test sets, from any thread.
class FakeUpdater final : public Updater {
    Q_OBJECT
public:
    void startUpdater() override { started = true; }
    void checkForUpdates() override {}
    bool canCheckForUpdates() const override { return canCheck; }
    void announce(bool value) {
        canCheck = value;
        emit canCheckForUpdatesChanged(value);
    }

    std::atomic<bool> started{false};
    std::atomic<bool> canCheck{false};
};

QStringList actionTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        texts << (action->isSeparator() ? QString("-") : action->text());
    }
    return texts;
}

int visiblePreferencesWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "preferencesWindow" && widget->isVisible()) {
            ++count;
        }
    }
    return count;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void init() { world_ = std::make_unique<testing::UiWorld>(); }
    void cleanup() { world_.reset(); }

    void mainWindowIsFixedAt888By500() {
        UnavailableUpdater updater;
        StubforgeApp app(world_->services(), updater);
        app.show();
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow(), testing::kEventCeilingMs));
        MainWindow& window = app.mainWindow();
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(window.size(), window.minimumSize());
        QCOMPARE(window.centralWidget()->size(), QSize(888, 500));
        QCOMPARE(window.windowTitle(), QString("Stubforge"));
    }

    void menusSayWhatTheyShould() {
        UnavailableUpdater updater;
        StubforgeApp app(world_->services(), updater);
        QStringList titles;
        for (const QAction* action : app.mainWindow().menuBar()->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles, QStringList({"Stubforge", "Edit"}));
        const auto* application = app.mainWindow().menuBar()->findChild<QMenu*>("applicationMenu");
        QVERIFY(application != nullptr);
        QCOMPARE(actionTexts(*application), QStringList({"About Stubforge", "Check for Updates...", "-",
                                                         "Preferences...", "-", "Quit Stubforge"}));
        const auto* edit = app.mainWindow().menuBar()->findChild<QMenu*>("editMenu");
        QVERIFY(edit != nullptr);
        QCOMPARE(actionTexts(*edit), QStringList({"Undo", "Redo", "-", "Cut", "Copy", "Paste", "Select All"}));
        const auto shortcut = [&](const QString& text) {
            for (QAction* action : application->actions() + edit->actions()) {
                if (action->text() == text) {
                    return action->shortcut();
                }
            }
            return QKeySequence();
        };
        QCOMPARE(shortcut("Preferences..."), QKeySequence("Ctrl+,"));
        QCOMPARE(shortcut("Quit Stubforge"), QKeySequence("Ctrl+Q"));
        QVERIFY(!shortcut("Undo").isEmpty());
        QVERIFY(!shortcut("Select All").isEmpty());
    }

    void editCommandsActOnTheFocusedField() {
        UnavailableUpdater updater;
        StubforgeApp app(world_->services(), updater);
        app.show();
        QApplication::setActiveWindow(&app.mainWindow());
        QVERIFY(QTest::qWaitForWindowActive(&app.mainWindow(), testing::kEventCeilingMs));
        auto* field = app.mainWindow().findChild<QLineEdit*>("fileSizeInput");
        QVERIFY(field != nullptr);
        field->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), static_cast<QWidget*>(field), testing::kEventCeilingMs);
        const auto* edit = app.mainWindow().menuBar()->findChild<QMenu*>("editMenu");
        auto command = [&](const QString& text) {
            for (QAction* action : edit->actions()) {
                if (action->text() == text) {
                    action->trigger();
                }
            }
        };
        field->setText("12.5");
        command("Select All");
        command("Cut");
        QCOMPARE(field->text(), QString());
        command("Paste");
        QCOMPARE(field->text(), QString("12.5"));
        command("Undo");
        QCOMPARE(field->text(), QString());
        command("Redo");
        QCOMPARE(field->text(), QString("12.5"));
        QCOMPARE(app.mainWindow().state().form().fileSizeInput, std::string("12.5"));
    }

    void reloadTriggerPulsesTheFileList() {
        MainWindow window(world_->services());
        window.show();
        QVERIFY(!window.state().reloadFolderView());
        std::vector<bool> seen;
        connect(&window.state(), &MainWindowState::reloadFolderViewChanged, &window,
                [&](bool reload) { seen.push_back(reload); });
        // Either direction of the flip asks for a reload.
        window.settings().flipFolderViewReloadTrigger();
        QTRY_COMPARE_WITH_TIMEOUT(seen, (std::vector<bool>{true, false}), testing::kEventCeilingMs);
        window.settings().flipFolderViewReloadTrigger();
        QTRY_COMPARE_WITH_TIMEOUT(seen, (std::vector<bool>{true, false, true, false}), testing::kEventCeilingMs);
    }

    void checkForUpdatesStaysDisabledWithoutAnUpdater() {
        UnavailableUpdater updater;
        StubforgeApp app(world_->services(), updater);
        app.show();
        QVERIFY(app.checkForUpdatesAction()->isVisible());
        QVERIFY(!app.checkForUpdatesAction()->isEnabled());
    }

    void updaterChangesReachTheMenuOnTheWindowThread() {
        FakeUpdater updater;
        StubforgeApp app(world_->services(), updater);
        app.show();
        QVERIFY(updater.started);
        QVERIFY(!app.checkForUpdatesAction()->isEnabled());
        QThread* windowThread = QThread::currentThread();
        QThread* enabledOn = nullptr;
        connect(app.checkForUpdatesAction(), &QAction::changed, app.checkForUpdatesAction(),
                [&] { enabledOn = QThread::currentThread(); });
        std::thread announcer([&] { updater.announce(true); });
        announcer.join();
        QTRY_VERIFY_WITH_TIMEOUT(app.checkForUpdatesAction()->isEnabled(), testing::kEventCeilingMs);
        QCOMPARE(enabledOn, windowThread);
        std::thread withdrawer([&] { updater.announce(false); });
        withdrawer.join();
        QTRY_VERIFY_WITH_TIMEOUT(!app.checkForUpdatesAction()->isEnabled(), testing::kEventCeilingMs);
    }

    void ctrlCommaTwiceGivesOnePreferencesWindow() {
        UnavailableUpdater updater;
        StubforgeApp app(world_->services(), updater);
        app.show();
        QApplication::setActiveWindow(&app.mainWindow());
        QVERIFY(QTest::qWaitForWindowActive(&app.mainWindow(), testing::kEventCeilingMs));

        QTest::keySequence(&app.mainWindow(), QKeySequence("Ctrl+,"));
        QTRY_COMPARE_WITH_TIMEOUT(visiblePreferencesWindows(), 1, testing::kEventCeilingMs);
        QWidget* first = app.windowManager().preferencesWindow();
        QVERIFY(first != nullptr);
        QCOMPARE(first->windowTitle(), QString("Preferences"));
        QCOMPARE(first->size(), QSize(400, 150));
        QCOMPARE(first->minimumSize(), first->maximumSize());

        QWidget* focus = QApplication::activeWindow() != nullptr ? QApplication::activeWindow() : first;
        QTest::keySequence(focus, QKeySequence("Ctrl+,"));
        QCoreApplication::processEvents();
        QCOMPARE(visiblePreferencesWindows(), 1);
        QCOMPARE(app.windowManager().preferencesWindow(), first);

        // Closed, it is built anew.
        QPointer<QWidget> closed(first);
        first->close();
        QTRY_VERIFY_WITH_TIMEOUT(closed.isNull(), testing::kEventCeilingMs);
        app.windowManager().showPreferencesWindow();
        QCOMPARE(visiblePreferencesWindows(), 1);
        QVERIFY(app.windowManager().preferencesWindow() != nullptr);
        QCOMPARE(app.windowManager().preferencesWindow()->size(), QSize(400, 150));
    }

    void pinAndDarkModePersistAcrossWindows() {
        {
            MainWindow window(world_->services());
            window.show();
            QVERIFY(!window.stayOnTopAction()->isChecked());
            QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            QCOMPARE(window.palette().color(QPalette::Window), lightPalette().color(QPalette::Window));
            window.stayOnTopAction()->trigger();
            window.darkModeAction()->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint), testing::kEventCeilingMs);
            QTRY_COMPARE_WITH_TIMEOUT(window.palette().color(QPalette::Window), darkPalette().color(QPalette::Window),
                                      testing::kEventCeilingMs);
            QVERIFY(window.stayOnTopAction()->isChecked());
            QVERIFY(window.isVisible());
        }
        QVERIFY(world_->defaults().boolForKey("stayOnTop"));
        QVERIFY(world_->defaults().boolForKey("isDarkMode"));
        MainWindow again(world_->services());
        again.show();
        QVERIFY(again.stayOnTopAction()->isChecked());
        QVERIFY(again.darkModeAction()->isChecked());
        QVERIFY(again.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(again.palette().color(QPalette::Window), darkPalette().color(QPalette::Window));
        // A child inherits the scheme.
        QCOMPARE(again.centralWidget()->palette().color(QPalette::Base), darkPalette().color(QPalette::Base));

        again.darkModeAction()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(again.palette().color(QPalette::Window), lightPalette().color(QPalette::Window),
                                  testing::kEventCeilingMs);
        QVERIFY(!world_->defaults().boolForKey("isDarkMode"));
    }

    void showInFileManagerFallsBackToTheDefaultFolder() {
        MainWindow window(world_->services());
        const auto custom = world_->root() / "custom";
        std::filesystem::create_directories(custom);
        window.settings().setUseCustomFolder(true);
        window.settings().setCustomFolderPath(QUrl::fromLocalFile(QString::fromStdString(custom.string())).toString());
        window.showOutputFolderAction()->trigger();
        std::filesystem::remove(custom);
        window.showOutputFolderAction()->trigger();
        window.settings().setUseCustomFolder(false);
        window.showOutputFolderAction()->trigger();
        const std::vector<QUrl> expected = {
            QUrl::fromLocalFile(QString::fromStdString(custom.string())),
            QUrl::fromLocalFile(QString::fromStdString(world_->outputFolder().string())),
            QUrl::fromLocalFile(QString::fromStdString(world_->outputFolder().string())),
        };
        QCOMPARE(world_->openedUrls().size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(world_->openedUrls()[i], expected[i]);
        }
        QVERIFY(std::filesystem::is_directory(world_->outputFolder()));
    }

    void statusRowNamesTheFolderInUse() {
        MainWindow window(world_->services());
        QCOMPARE(window.statusRow().text(), QString("Tips: Spacebar to View File and Delete to Delete File"));
        const auto custom = world_->root() / "dummy files";
        std::filesystem::create_directories(custom);
        window.settings().setCustomFolderPath(QUrl::fromLocalFile(QString::fromStdString(custom.string())).toEncoded());
        window.settings().setUseCustomFolder(true);
        QTRY_COMPARE_WITH_TIMEOUT(window.statusRow().text(),
                                  "Export location: " + QString::fromStdString(custom.string()),
                                  testing::kEventCeilingMs);
        // A custom folder the writers cannot use is not where files go.
        window.settings().setCustomFolderPath("file:///srv/no%20such%20folder");
        QTRY_COMPARE_WITH_TIMEOUT(window.statusRow().text(),
                                  "Export location: " + QString::fromStdString(world_->outputFolder().string()),
                                  testing::kEventCeilingMs);
        window.settings().setUseCustomFolder(false);
        QTRY_COMPARE_WITH_TIMEOUT(window.statusRow().text(),
                                  QString("Tips: Spacebar to View File and Delete to Delete File"),
                                  testing::kEventCeilingMs);
    }

    void feedbackOpensAMailLink() {
        MainWindow window(world_->services());
        window.sendFeedback();
        QCOMPARE(world_->openedUrls().size(), std::size_t{1});
        const QUrl url = world_->openedUrls().front();
        QCOMPARE(url.scheme(), QString("mailto"));
        QCOMPARE(url.path(), QString("feedback@stubforge.org"));
        QCOMPARE(QUrlQuery(url).queryItemValue("subject", QUrl::FullyDecoded),
                 "Feedback for Stubforge v" + QString::fromStdString(platform::Bundle::main().shortVersion()) + " (" +
                     QString::fromStdString(platform::Bundle::main().buildNumber()) + ")");
    }

private:
    std::unique_ptr<testing::UiWorld> world_;
};

}  // namespace stubforge::ui

QTEST_MAIN(stubforge::ui::ShellTest)
#include "ShellTest.moc"
