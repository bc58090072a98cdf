#include "stubforge/ui/StubforgeApp.h"

#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace stubforge::ui {

namespace {

// The Edit commands act on whichever field has the keyboard focus.
void forwardToFocus(const char* slot) {
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr) {
        return;
    }
    const QByteArray signature = QByteArray(slot) + "()";
    if (focus->metaObject()->indexOfMethod(signature.constData()) >= 0) {
        QMetaObject::invokeMethod(focus, slot);
    }
}

// The platform's key for a standard command, or the usual one where the
// platform names none (the offscreen and minimal platforms name few).
QKeySequence standardKey(QKeySequence::StandardKey key, const char* usual) {
    const QKeySequence sequence(key);
    return sequence.isEmpty() ? QKeySequence(QString::fromLatin1(usual)) : sequence;
}

}  // namespace

StubforgeApp::StubforgeApp(WindowServices services, Updater& updater, QObject* parent)
    : QObject(parent),
      updater_(&updater),
      windowManager_(PreferencesServices{services.defaults, services.chooseOutputFolder}),
      window_(std::make_unique<MainWindow>(std::move(services))),
      checkForUpdatesViewModel_(updater) {
    installCommands();
}

StubforgeApp::~StubforgeApp() = default;

void StubforgeApp::installCommands() {
    QMenuBar* bar = window_->menuBar();
    QMenu* application = bar->addMenu(qt(texts::kApplicationMenu));
    application->setObjectName("applicationMenu");
    QAction* about = application->addAction(qt(texts::kAbout));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, window_.get(),
            [this] { QMessageBox::about(window_.get(), qt(texts::kAbout), window_->versionText()); });
    checkForUpdatesAction_ = application->addAction(qt(texts::kCheckForUpdates));
    checkForUpdatesAction_->setObjectName("checkForUpdates");
    checkForUpdatesAction_->setEnabled(checkForUpdatesViewModel_.canCheckForUpdates());
    connect(&checkForUpdatesViewModel_, &CheckForUpdatesViewModel::canCheckForUpdatesChanged, checkForUpdatesAction_,
            &QAction::setEnabled);
    connect(checkForUpdatesAction_, &QAction::triggered, updater_, &Updater::checkForUpdates);
    application->addSeparator();
    QAction* preferences = application->addAction(qt(texts::kPreferences));
    preferences->setObjectName("preferences");
    preferences->setMenuRole(QAction::PreferencesRole);
    preferences->setShortcut(QKeySequence(qt(texts::kPreferencesShortcut)));
    // Ctrl+, opens the Preferences window from any window of the program.
    preferences->setShortcutContext(Qt::ApplicationShortcut);
    connect(preferences, &QAction::triggered, &windowManager_, &WindowManager::showPreferencesWindow);
    application->addSeparator();
    QAction* quit = application->addAction(qt(texts::kQuit));
    quit->setObjectName("quit");
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(standardKey(QKeySequence::Quit, "Ctrl+Q"));
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, this, &StubforgeApp::quit);

    QMenu* edit = bar->addMenu(qt(texts::kEditMenu));
    edit->setObjectName("editMenu");
    struct EditCommand {
        std::string_view title;
        QKeySequence::StandardKey key;
        const char* usualKey;
        const char* slot;
    };
    const EditCommand commands[] = {
        {texts::kUndo, QKeySequence::Undo, "Ctrl+Z", "undo"},
        {texts::kRedo, QKeySequence::Redo, "Ctrl+Shift+Z", "redo"},
        {{}, QKeySequence::UnknownKey, nullptr, nullptr},
        {texts::kCut, QKeySequence::Cut, "Ctrl+X", "cut"},
        {texts::kCopy, QKeySequence::Copy, "Ctrl+C", "copy"},
        {texts::kPaste, QKeySequence::Paste, "Ctrl+V", "paste"},
        {texts::kSelectAll, QKeySequence::SelectAll, "Ctrl+A", "selectAll"},
    };
    for (const EditCommand& command : commands) {
        if (command.slot == nullptr) {
            edit->addSeparator();
            continue;
        }
        QAction* action = edit->addAction(qt(command.title));
        action->setShortcut(standardKey(command.key, command.usualKey));
        const char* slot = command.slot;
        connect(action, &QAction::triggered, this, [slot] { forwardToFocus(slot); });
    }
}

void StubforgeApp::show() {
    window_->show();
    updater_->startUpdater();
}

void StubforgeApp::quit() {
    window_->cancelGeneration();
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

}  // namespace stubforge::ui
