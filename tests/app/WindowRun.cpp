// The program, whole, with the window driven as a user would: the window
// tests start it as a child process over their own folders and resources.
//
//   stubforge-window-run MODE [program arguments…]
//
//   generate-then-quit   txt, "0.01", Generate, then Quit at once
//   generate-then-wait   txt, "0.01", Generate, then Quit once stdin closes
//   wait                 Quit once stdin closes
//
// Prints "stubforge-window-run: window shown" on stderr once the window is
// first exposed (the start benchmark waits for it). Exits as the program
// does; 3 when the window is not as expected.

#include "stubforge/host/Program.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/MainWindow.h"
#include "stubforge/ui/Sidebar.h"
#include "stubforge/ui/StubforgeApp.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

using stubforge::ui::StubforgeApp;

void fail(const char* reason) {
    std::fprintf(stderr, "stubforge-window-run: %s\n", reason);
    QCoreApplication::exit(3);
}

bool clickGenerate(StubforgeApp& app) {
    stubforge::ui::MainWindow& window = app.mainWindow();
    window.sidebar().select(stubforge::FileExtension::txt);
    auto* size = window.findChild<QLineEdit*>("fileSizeInput");
    if (size == nullptr) {
        fail("no size field");
        return false;
    }
    size->selectAll();
    QTest::keyClicks(size, "0.01");
    QPushButton* generate = window.form().generateButton();
    if (!generate->isEnabled()) {
        fail("Generate is disabled");
        return false;
    }
    QTest::mouseClick(generate, Qt::LeftButton);
    return true;
}

void quit(StubforgeApp& app) {
    auto* action = app.mainWindow().findChild<QAction*>("quit");
    if (action == nullptr) {
        fail("no Quit command");
        return;
    }
    action->trigger();
}

// Quits when the parent closes our stdin.
void quitWhenStdinCloses(StubforgeApp& app) {
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, notifier] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            notifier->setEnabled(false);
            quit(app);
        }
    });
}

void reportShown() {
    std::fprintf(stderr, "stubforge-window-run: window shown\n");
    std::fflush(stderr);
}

// Reports the window's first exposure, the moment a user would see it.
class ShownReporter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            reportShown();
            watched->removeEventFilter(this);
        }
        return false;
    }
};

void reportWhenShown(StubforgeApp& app) {
    QWindow* window = app.mainWindow().windowHandle();
    if (window == nullptr) {
        fail("no window");
        return;
    }
    if (window->isExposed()) {
        reportShown();
        return;
    }
    window->installEventFilter(new ShownReporter(&app));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: stubforge-window-run generate-then-quit|generate-then-wait|wait [arguments]\n");
        return 2;
    }
    const std::string_view mode = argv[1];
    const bool generate = mode == "generate-then-quit" || mode == "generate-then-wait";
    const bool quitAtOnce = mode == "generate-then-quit";
    if (!generate && mode != "wait") {
        std::fprintf(stderr, "stubforge-window-run: unknown mode %s\n", argv[1]);
        return 2;
    }
    // The program sees its own name and the arguments after the mode.
    std::vector<char*> arguments{argv[0]};
    arguments.insert(arguments.end(), argv + 2, argv + argc);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    return stubforge::host::runProgram(count, arguments.data(), [=](StubforgeApp& app) {
        reportWhenShown(app);
        // Once the loop runs, as a user's first click would.
        QTimer::singleShot(0, &app, [&app, generate, quitAtOnce] {
            if (generate && !clickGenerate(app)) {
                return;
            }
            if (quitAtOnce) {
                quit(app);
            } else {
                quitWhenStdinCloses(app);
            }
        });
    });
}
