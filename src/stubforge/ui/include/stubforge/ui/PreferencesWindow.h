#pragma once

#include <QPointer>
#include <QWidget>

namespace stubforge::ui {

inline constexpr QSize kPreferencesSize(400, 150);

// The Preferences window: a title bar with a close button, 400 × 150, not
// resizable.
class PreferencesWindow final : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesWindow(QWidget* parent = nullptr);

    // Where the export-location preference (the output folder choice) sits.
    QWidget* exportLocationRow() const { return exportLocationRow_; }

private:
    QWidget* exportLocationRow_;
};

// Owns the one Preferences window: showing it raises the open one, or
// builds a new one when the last was closed.
class WindowManager final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~WindowManager() override;

    void showPreferencesWindow();
    PreferencesWindow* preferencesWindow() const { return preferencesWindow_; }

private:
    QPointer<PreferencesWindow> preferencesWindow_;
};

}  // namespace stubforge::ui
