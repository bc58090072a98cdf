#pragma once

#include "stubforge/ui/MainWindowState.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QListWidget>

namespace stubforge::ui {

// The output folder's files of the chosen kind, newest name last; re-read
// whenever the window asks for a reload. A plain list: the folder browser
// with its keys, preview and drag-out takes its place.
class FolderListView final : public QListWidget {
    Q_OBJECT
public:
    FolderListView(MainWindowState& state, platform::UserDefaults& defaults, platform::LogSink& log,
                   QWidget* parent = nullptr);

    void reload();
    int reloadCount() const { return reloadCount_; }

private:
    MainWindowState* state_;
    platform::UserDefaults* defaults_;
    platform::LogSink* log_;
    int reloadCount_ = 0;
};

}  // namespace stubforge::ui
