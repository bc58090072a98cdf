// The window's hand-offs to the desktop through the program's own services:
// run by check_desktop.sh on a real X server, with a recording xdg-open
// first on PATH and no session bus, so no file manager takes the reveal.
#include "UiTestSupport.h"

#include "stubforge/ui/FolderView.h"
#include "stubforge/ui/Sidebar.h"

#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QMenu>
#include <QtTest>

#include <fstream>

namespace stubforge::ui {
namespace {

// The URLs xdg-open was called with, one a line.
QStringList recordedCalls() {
    QFile record(qEnvironmentVariable("STUBFORGE_XDG_OPEN_RECORD"));
    if (!record.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(record.readAll()).split('\n', Qt::SkipEmptyParts);
}

void clearRecord() { QFile::remove(qEnvironmentVariable("STUBFORGE_XDG_OPEN_RECORD")); }

QString fileUrl(const std::filesystem::path& path) {
    return QString::fromUtf8(QUrl::fromLocalFile(QString::fromStdString(path.string())).toEncoded());
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY2(!qEnvironmentVariable("STUBFORGE_XDG_OPEN_RECORD").isEmpty(), "run through check_desktop.sh");
        clearRecord();
        world_ = std::make_unique<testing::UiWorld>();
    }
    void cleanup() { world_.reset(); }

    void showInFileManagerFallsBackToOpeningTheFolder() {
        std::filesystem::create_directories(world_->outputFolder());
        std::ofstream(world_->outputFolder() / "a.pdf") << "dummy";
        AnalyticsSink& analytics = world_->analytics();
        WindowServices services = world_->services();
        const WindowServices standard = WindowServices::standard(static_cast<RecordingAnalyticsSink&>(analytics));
        services.openUrl = standard.openUrl;
        services.revealFiles = standard.revealFiles;
        MainWindow window(std::move(services));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, testing::kEventCeilingMs));
        FolderView& view = window.folderView();
        QCOMPARE(view.count(), 1);
        view.table().selectionModel()->select(view.model().index(0, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QPoint row = view.table().visualRect(view.model().index(0, 0)).center();
        auto menu = view.contextMenuAt(row);
        QVERIFY(menu != nullptr);
        menu->actions().front()->trigger();
        const QString folder = fileUrl(world_->outputFolder());
        QTRY_COMPARE_WITH_TIMEOUT(recordedCalls(), QStringList({folder}), testing::kEventCeilingMs);

        window.showOutputFolderAction()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(recordedCalls(), QStringList({folder, folder}), testing::kEventCeilingMs);

        view.table().setFocus();
        QTest::keyClick(&view.table(), Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(recordedCalls(),
                                  QStringList({folder, folder, fileUrl(world_->outputFolder() / "a.pdf")}),
                                  testing::kEventCeilingMs);
    }

    void feedbackOpensTheMailLink() {
        WindowServices services = world_->services();
        services.openUrl = WindowServices::standard(world_->analytics()).openUrl;
        MainWindow window(std::move(services));
        window.show();
        window.sendFeedback();
        QTRY_COMPARE_WITH_TIMEOUT(recordedCalls().size(), 1, testing::kEventCeilingMs);
        const QString call = recordedCalls().front();
        QVERIFY2(call.startsWith("mailto:feedback@stubforge.org?subject=Feedback%20for%20Stubforge%20v"),
                 qPrintable(call));
    }

private:
    std::unique_ptr<testing::UiWorld> world_;
};

}  // namespace stubforge::ui

QTEST_MAIN(stubforge::ui::DesktopTest)
#include "DesktopTest.moc"
