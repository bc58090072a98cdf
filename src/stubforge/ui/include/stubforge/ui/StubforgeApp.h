#pragma once

#include "stubforge/ui/MainWindow.h"
#include "stubforge/ui/PreferencesWindow.h"
#include "stubforge/ui/Updater.h"

#include <QObject>

#include <memory>

class QAction;

namespace stubforge::ui {

// The application: the main window with the menu commands, the updater
// glue and the Preferences window.
class StubforgeApp final : public QObject {
    Q_OBJECT
public:
    StubforgeApp(WindowServices services, Updater& updater, QObject* parent = nullptr);
    ~StubforgeApp() override;

    MainWindow& mainWindow() const { return *window_; }
    WindowManager& windowManager() { return windowManager_; }
    QAction* checkForUpdatesAction() const { return checkForUpdatesAction_; }

    // Shows the main window and starts the updater.
    void show();

    // Stops a running writer, closes every window and ends the event loop.
    void quit();

private:
    void installCommands();

    Updater* updater_;
    WindowManager windowManager_;
    std::unique_ptr<MainWindow> window_;
    CheckForUpdatesViewModel checkForUpdatesViewModel_;
    QAction* checkForUpdatesAction_ = nullptr;
};

}  // namespace stubforge::ui
