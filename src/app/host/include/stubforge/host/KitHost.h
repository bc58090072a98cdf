#pragma once

#include <chrono>
#include <memory>

namespace kit {
class KitContext;
}

class QApplication;
class QGuiApplication;

// What the program hands the analytics kit at start: the main queue on
// Qt's event loop and the application's lifecycle as the kit's
// notifications.
namespace stubforge::host {

// How long quitting waits for the kit's queues to take in accepted events.
inline constexpr std::chrono::milliseconds kQuitDrainTimeout{2000};

// The kit's main queue becomes a queued call on Qt's loop.
void installKitMainQueue();

// Posts the kit's lifecycle notifications: finished launching on the first
// turn of the event loop, became active and will resign active from the
// application state, window resigned key when a focused window loses focus,
// and will terminate from aboutToQuit, once the kit's queues have drained
// (up to kQuitDrainTimeout).
void connectKitLifecycle(QGuiApplication& application);

// Installs the main queue, connects the lifecycle and configures the kit.
// A missing or broken options file leaves the program running without
// analytics, with one line on stderr saying why. The caller keeps the
// context and, once the event loop has returned, calls its shutdown() before
// main returns: every queue, timer and network thread of the kit is joined,
// so nothing of it runs while static objects are destroyed.
[[nodiscard]] std::unique_ptr<kit::KitContext> startKit(QApplication& application);

}  // namespace stubforge::host
