#pragma once

#include "stubforge/ui/MainWindowState.h"
#include "stubforge/ui/SettingsAdapter.h"

#include "platform/Log.h"

#include <QWidget>

class QLabel;
class QProgressBar;

namespace stubforge::ui {

// Under the file list: a busy indicator while a generation runs, then the
// last failure in red, or the export location, or the usage tips.
class StatusRow final : public QWidget {
    Q_OBJECT
public:
    StatusRow(MainWindowState& state, SettingsAdapter& settings, platform::LogSink& log, QWidget* parent = nullptr);

    void showFailure(const QString& message);
    void clearFailure();

    QString text() const;
    bool showsFailure() const { return !failure_.isEmpty(); }
    bool showsProgress() const;

private:
    void refresh();
    void resolveLocation();

    MainWindowState* state_;
    SettingsAdapter* settings_;
    platform::LogSink* log_;
    // "Export location: …" while a custom folder is chosen, else empty;
    // resolved only when a folder setting changes, not at every refresh.
    QString location_;
    QProgressBar* progress_;
    QLabel* label_;
    QString failure_;
};

}  // namespace stubforge::ui
