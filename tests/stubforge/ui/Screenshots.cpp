// Saves pictures of the main window for a person to look at: pdf, txt, csv
// with its column editor open, csv after a refused template, dark mode with
// the pin on, the folder browser with files of several kinds, and the
// Preferences window. Run under a real X server:
//   xvfb-run -a -s "-screen 0 1280x800x24" build/bin/stubforge-ui-screenshots <folder>
#include "stubforge/ui/CSVConfigurationView.h"
#include "stubforge/ui/FolderView.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/Sidebar.h"
#include "stubforge/ui/StubforgeApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void settle(int milliseconds = 300) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

bool save(const QRect& area, const QString& path) {
    const QPixmap picture =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const bool saved = picture.save(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    // Settings and output of its own, so a person's settings stay untouched.
    QTemporaryDir home;
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::setenv(variable, qPrintable(home.path() + "/" + variable), 1);
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    const QString folder = QString::fromLocal8Bit(argv[1]);

    stubforge::ui::RecordingAnalyticsSink analytics;
    stubforge::ui::UnavailableUpdater updater;
    // The template chooser answers with a header of nothing, so the
    // panel's failure line shows.
    const QString badTemplate = home.path() + "/blank-first-line.csv";
    QFile file(badTemplate);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("\n1,2\n");
        file.close();
    }
    stubforge::ui::WindowServices services = stubforge::ui::WindowServices::standard(analytics);
    services.chooseTemplate = [badTemplate](QWidget*) { return badTemplate; };
    stubforge::ui::StubforgeApp app(std::move(services), updater);
    stubforge::ui::MainWindow& window = app.mainWindow();
    app.show();
    window.move(40, 40);
    settle();
    // A file in the list.
    window.sidebar().select(stubforge::FileExtension::pdf);
    window.handleGenerateClick();
    settle(1500);
    bool saved = save(window.frameGeometry(), folder + "/main-pdf.png");

    window.sidebar().select(stubforge::FileExtension::txt);
    settle();
    saved = save(window.frameGeometry(), folder + "/main-txt.png") && saved;

    window.sidebar().select(stubforge::FileExtension::csv);
    settle();
    window.form().csvPanel()->toggleEditor();
    settle();
    QRect area = window.frameGeometry();
    if (auto* editor = window.form().csvPanel()->editor()) {
        area = area.united(editor->window()->frameGeometry());
    }
    saved = save(area, folder + "/main-csv-editor.png") && saved;
    window.form().csvPanel()->toggleEditor();
    settle();
    window.form().csvPanel()->importTemplate();
    settle();
    saved = save(window.frameGeometry(), folder + "/main-csv-import-failure.png") && saved;

    // Dark, with the pin on so its checked look shows.
    window.sidebar().select(stubforge::FileExtension::pdf);
    window.settings().setDarkMode(true);
    window.settings().setStayOnTop(true);
    settle();
    saved = save(window.frameGeometry(), folder + "/main-dark.png") && saved;
    window.settings().setStayOnTop(false);
    window.settings().setDarkMode(false);
    settle();

    // The browser on "All My Files" with a few kinds, one row selected.
    for (const auto kind : {stubforge::FileExtension::txt, stubforge::FileExtension::json,
                            stubforge::FileExtension::png, stubforge::FileExtension::csv}) {
        window.sidebar().select(kind);
        settle(100);
        window.handleGenerateClick();
        settle(1200);
    }
    window.sidebar().select(stubforge::FileExtension::showAll);
    settle();
    window.folderView().table().selectRow(1);
    window.folderView().table().setFocus();
    settle();
    saved = save(window.frameGeometry(), folder + "/browser-all-files.png") && saved;

    app.windowManager().showPreferencesWindow();
    settle();
    if (QWidget* preferences = app.windowManager().preferencesWindow()) {
        preferences->move(40, window.frameGeometry().bottom() + 20);
        settle();
        saved = save(preferences->frameGeometry(), folder + "/preferences.png") && saved;
    }
    return saved ? 0 : 1;
}
