#include "stubforge/ui/Updater.h"

#include <QThread>

namespace stubforge::ui {

CheckForUpdatesViewModel::CheckForUpdatesViewModel(Updater& updater, QObject* parent) : QObject(parent) {
    // A queued connection: the updater may announce from its own thread, and
    // the menu item must only be touched on the window's.
    connect(&updater, &Updater::canCheckForUpdatesChanged, this, &CheckForUpdatesViewModel::take, Qt::QueuedConnection);
    take(updater.canCheckForUpdates());
}

void CheckForUpdatesViewModel::take(bool canCheck) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (canCheck == canCheckForUpdates_) {
        return;
    }
    canCheckForUpdates_ = canCheck;
    emit canCheckForUpdatesChanged(canCheck);
}

}  // namespace stubforge::ui
