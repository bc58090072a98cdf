#pragma once

#include <QObject>

namespace stubforge::ui {

// What the shell needs of an updater: start it, ask it to check, and know
// whether it can check now. canCheckForUpdatesChanged may be emitted from
// any thread.
class Updater : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void startUpdater() = 0;
    virtual void checkForUpdates() = 0;
    virtual bool canCheckForUpdates() const = 0;

signals:
    void canCheckForUpdatesChanged(bool canCheck);
};

// There is no update service for this build: it starts, and never can check.
class UnavailableUpdater final : public Updater {
    Q_OBJECT
public:
    using Updater::Updater;

    void startUpdater() override {}
    void checkForUpdates() override {}
    bool canCheckForUpdates() const override { return false; }
};

// The menu item's view of the updater. Takes the updater's value at once and
// every later change, always on the thread this object lives on (the
// window's), whichever thread the updater announces the change from.
class CheckForUpdatesViewModel final : public QObject {
    Q_OBJECT
public:
    explicit CheckForUpdatesViewModel(Updater& updater, QObject* parent = nullptr);

    bool canCheckForUpdates() const { return canCheckForUpdates_; }

signals:
    void canCheckForUpdatesChanged(bool canCheck);

private:
    void take(bool canCheck);

    bool canCheckForUpdates_ = false;  // confined to this object's thread
};

}  // namespace stubforge::ui
