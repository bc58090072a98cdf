#pragma once

#include "stubforge/ui/FolderPreferenceView.h"

#include "platform/UserDefaults.h"

#include <QPointer>
#include <QWidget>

namespace stubforge::ui {

inline constexpr QSize kPreferencesSize(400, 150);

// What the Preferences window reaches outside itself.
struct PreferencesServices {
    platform::UserDefaults* defaults;
    FolderChooser chooseOutputFolder;
};

// The Preferences window: a title bar with a close button, 400 × 150, not
// resizable.
class PreferencesWindow final : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesWindow(const PreferencesServices& services, QWidget* parent = nullptr);

    // Where the export-location preference (the output folder choice) sits.
    QWidget* exportLocationRow() const { return exportLocationRow_; }
    FolderPreferenceView& folderPreference() const { return *folderPreference_; }

private:
    QWidget* exportLocationRow_;
    FolderPreferenceView* folderPreference_;
};

// Owns the one Preferences window: showing it raises the open one, or
// builds a new one when the last was closed.
class WindowManager final : public QObject {
    Q_OBJECT
public:
    explicit WindowManager(PreferencesServices services, QObject* parent = nullptr);
    ~WindowManager() override;

    void showPreferencesWindow();
    PreferencesWindow* preferencesWindow() const { return preferencesWindow_; }

private:
    PreferencesServices services_;
    QPointer<PreferencesWindow> preferencesWindow_;
};

}  // namespace stubforge::ui
