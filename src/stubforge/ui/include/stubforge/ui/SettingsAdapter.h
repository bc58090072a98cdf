#pragma once

#include "platform/UserDefaults.h"

#include <QObject>
#include <QString>

#include <vector>

namespace stubforge::ui {

// The window's settings, read and written live through the user defaults
// under their own keys, with a signal per key. Changes made elsewhere (the
// preferences window, another process) arrive as signals on this object's
// thread.
class SettingsAdapter final : public QObject {
    Q_OBJECT
public:
    explicit SettingsAdapter(platform::UserDefaults& defaults, QObject* parent = nullptr);
    ~SettingsAdapter() override;

    platform::UserDefaults& defaults() const { return *defaults_; }

    bool stayOnTop() const;
    void setStayOnTop(bool on);
    bool isDarkMode() const;
    void setDarkMode(bool on);
    bool useCustomFolder() const;
    void setUseCustomFolder(bool on);
    QString customFolderPath() const;
    void setCustomFolderPath(const QString& path);
    bool folderViewReloadTrigger() const;
    // Only the change of this setting matters to its readers.
    void flipFolderViewReloadTrigger();

signals:
    void stayOnTopChanged(bool on);
    void isDarkModeChanged(bool on);
    void useCustomFolderChanged(bool on);
    void customFolderPathChanged(const QString& path);
    void folderViewReloadTriggerChanged(bool value);

private:
    void announce(const std::string& key);

    platform::UserDefaults* defaults_;
    std::vector<platform::UserDefaults::Observation> observations_;
};

}  // namespace stubforge::ui
