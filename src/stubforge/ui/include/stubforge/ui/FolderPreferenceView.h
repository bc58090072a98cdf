#pragma once

#include "stubforge/ui/SettingsAdapter.h"

#include <QString>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

class QLabel;
class QMenu;
class QToolButton;

namespace stubforge::ui {

// Asks the user for a folder; empty when the dialog was cancelled.
using FolderChooser = std::function<QString(QWidget* parent)>;

// The "Export location:" row of the Preferences window: a pop-up with the
// default folder, the custom folder in use and "Other...", and the red line
// under it. The choice goes to "useCustomFolder" and "customFolderPath" (a
// file URL); every choice asks the file list to reload.
class FolderPreferenceView final : public QWidget {
    Q_OBJECT
public:
    FolderPreferenceView(platform::UserDefaults& defaults, FolderChooser chooser, QWidget* parent = nullptr);

    // "Other...": the chooser, then the folder's check; a folder that fails
    // it changes nothing.
    void chooseFolder();
    void resetToDefaultFolder();
    // A saved custom folder must still be a folder the probe file can be
    // written into.
    void validateSavedFolder();

    // The pop-up's entries for the settings of the moment; runs as it opens.
    void rebuildMenu();

    QToolButton& menuButton() const { return *menuButton_; }
    QMenu& menu() const { return *menu_; }
    // Empty when the line shows nothing.
    QString errorMessage() const { return errorMessage_; }

private:
    void setErrorMessage(const QString& message);
    void refresh();

    SettingsAdapter settings_;
    FolderChooser chooser_;
    std::optional<std::filesystem::path> selectedURL_;
    QString errorMessage_;
    QToolButton* menuButton_;
    QMenu* menu_;
    QLabel* errorLine_;
};

}  // namespace stubforge::ui
