#pragma once

#include "stubforge/ui/AnalyticsSink.h"
#include "stubforge/ui/CSVColumnConfigurationView.h"
#include "stubforge/ui/FolderPreferenceView.h"
#include "stubforge/ui/GenerationController.h"
#include "stubforge/ui/MainWindowState.h"
#include "stubforge/ui/SettingsAdapter.h"

#include <QMainWindow>
#include <QUrl>

#include <functional>

class QAction;
class QToolBar;

namespace stubforge::ui {

class FolderView;
class GenerationForm;
class Sidebar;
class StatusRow;

// Everything the main window reaches outside itself, so a test can hand in
// its own settings, writer, sink and desktop.
struct WindowServices {
    platform::UserDefaults* defaults;
    const platform::Bundle* bundle;
    const platform::Clock* clock;
    platform::RandomSource* random;
    platform::LogSink* log;
    AnalyticsSink* analytics;
    Writer writer;
    // Hands a URL to the desktop (a folder to the file manager, a mail link
    // to the mail program).
    std::function<bool(const QUrl&)> openUrl;
    // Shows files selected in the file manager; false when none answers.
    std::function<bool(const QList<QUrl>&)> revealFiles;
    TemplateChooser chooseTemplate;
    FolderChooser chooseOutputFolder;

    // The running program's: standard settings and bundle, system clock and
    // random source, stderr log, the real writers, xdg-open, the file
    // manager's D-Bus interface, a file dialog filtered to CSV and a folder
    // dialog.
    static WindowServices standard(AnalyticsSink& analytics);
};

// The content window is this size, and cannot be resized.
inline constexpr QSize kContentSize(888, 500);

// The sidebar's fixed width: room for its rows and footer, and for the
// widest form row beside it.
inline constexpr int kSidebarWidth = 150;

// The one main window: the sidebar of file kinds, the form row, the file
// list and the status row, and a toolbar with "Show in File Manager", the
// stay-on-top pin and the dark-mode switch.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainWindowState& state() { return state_; }
    SettingsAdapter& settings() { return settings_; }
    GenerationForm& form() const { return *form_; }
    StatusRow& statusRow() const { return *statusRow_; }
    Sidebar& sidebar() const { return *sidebar_; }
    FolderView& folderView() const { return *folderView_; }
    QAction* stayOnTopAction() const { return stayOnTopAction_; }
    QAction* darkModeAction() const { return darkModeAction_; }
    QAction* showOutputFolderAction() const { return showOutputFolderAction_; }

    // "Stubforge v<version> (<build>)".
    QString versionText() const;

    void handleGenerateClick();
    void showOutputFolder();
    void sendFeedback();

    // Stops a running writer, which leaves no partial file.
    void cancelGeneration();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void startGeneration();
    void finishGeneration();
    void updateToolbarLook();
    void applyStayOnTop(bool on);
    void applyColorScheme(bool dark);
    void pulseFolderReload();

    WindowServices services_;
    SettingsAdapter settings_;
    MainWindowState state_;
    GenerationController controller_;
    Sidebar* sidebar_;
    GenerationForm* form_;
    QWidget* formRow_;
    FolderView* folderView_;
    StatusRow* statusRow_;
    QToolBar* toolbar_;
    QAction* showOutputFolderAction_;
    QAction* stayOnTopAction_;
    QAction* darkModeAction_;
};

}  // namespace stubforge::ui
