// The folder browser (listing, keys, trash, drag-out, reveal) and the
// output folder preference, on fresh XDG folders.
#include "UiTestSupport.h"

#include "stubforge/ui/FolderPreferenceView.h"
#include "stubforge/ui/FolderView.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/Sidebar.h"
#include "stubforge/ui/StatusRow.h"

#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <chrono>
#include <fstream>
#include <thread>

namespace stubforge::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What the default entry reads in a test's world, whose home folder holds
// its data folder.
QString defaultEntry() { return " ~/XDG_DATA_HOME/Stubforge (Default)"; }

void writeFile(const fs::path& path, std::string_view text = "dummy") { std::ofstream(path, std::ios::binary) << text; }

// Created one after another, each later than the one before in birth and
// modification time alike.
void makeFilesInOrder(const fs::path& folder, const std::vector<std::string>& names) {
    fs::create_directories(folder);
    const auto start = fs::file_time_type::clock::now() - 1h;
    int step = 0;
    for (const std::string& name : names) {
        const fs::path path = folder / name;
        if (name.ends_with('/')) {
            fs::create_directories(folder / name.substr(0, name.size() - 1));
        } else {
            writeFile(path, name);
            fs::last_write_time(path, start + std::chrono::minutes(++step));
        }
        std::this_thread::sleep_for(20ms);
    }
}

QStringList rowNames(const FolderView& view) {
    QStringList names;
    for (const FileItem& item : view.model().items()) {
        names << item.name;
    }
    return names;
}

QUrl fileUrl(const fs::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

void selectRows(FolderView& view, const QStringList& names) {
    QItemSelectionModel* selection = view.table().selectionModel();
    selection->clearSelection();
    for (int row = 0; row < view.count(); ++row) {
        if (names.contains(view.model().items()[static_cast<std::size_t>(row)].name)) {
            selection->select(view.model().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
}

QAction* menuEntry(QMenu& menu, const QString& objectName) {
    for (QAction* action : menu.actions()) {
        if (action->objectName() == objectName) {
            return action;
        }
    }
    return nullptr;
}

std::string readText(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

}  // namespace

class FolderTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        world_ = std::make_unique<testing::UiWorld>();
        // The trash must sit on the same device as the home folder for the
        // home trash to be the one used.
        ::setenv("HOME", world_->root().c_str(), 1);
    }
    void cleanup() { world_.reset(); }

    void byteCountTexts() {
        const std::pair<std::uintmax_t, QString> cases[] = {
            {0, "Zero KB"},        {1, "1 byte"},         {532, "532 bytes"},         {999, "999 bytes"},
            {1000, "1 KB"},        {12'345, "12 KB"},     {999'499, "999 KB"},        {999'999, "1 MB"},
            {2'500'000, "2.5 MB"}, {10'000'000, "10 MB"}, {1'234'567'890, "1.23 GB"},
        };
        for (const auto& [bytes, expected] : cases) {
            QCOMPARE(byteCountText(bytes), expected);
        }
    }

    void relativeDates() {
        const QDateTime now(QDate(2026, 12, 10), QTime(9, 30));
        QCOMPARE(relativeDateText(QDateTime(QDate(2026, 12, 10), QTime(0, 5)), now), QString("Today at 00:05"));
        QCOMPARE(relativeDateText(QDateTime(QDate(2026, 12, 9), QTime(23, 59)), now), QString("Yesterday at 23:59"));
        const QString older = relativeDateText(QDateTime(QDate(2026, 12, 8), QTime(14, 7)), now);
        QVERIFY2(!older.startsWith("Today") && !older.startsWith("Yesterday") && older.contains("2026"),
                 qPrintable(older));
    }

    void listsRegularFilesOfTheKindNewestFirst() {
        makeFilesInOrder(world_->outputFolder(), {"a.pdf", "b.PDF", "xpdf", "sub.pdf/", ".hidden.pdf", "x.txt"});
        MainWindow window(world_->services());
        FolderView& view = window.folderView();
        window.sidebar().select(FileExtension::pdf);
        QCOMPARE(rowNames(view), QStringList({"a.pdf"}));
        window.sidebar().select(FileExtension::showAll);
        QCOMPARE(rowNames(view), QStringList({"x.txt", "xpdf", "b.PDF", "a.pdf"}));
        QCOMPARE(view.folder(), world_->outputFolder());
        QVERIFY(view.errorMessage().isEmpty());

        // Kinds come from the extension, any case; no known kind is no kind.
        const auto& items = view.model().items();
        QCOMPARE(items[0].type, std::optional(FileExtension::txt));
        QCOMPARE(items[1].type, std::optional<FileExtension>());
        QCOMPARE(items[2].type, std::optional(FileExtension::pdf));
        QCOMPARE(items[3].size, QString("5 bytes"));
        QVERIFY(items[3].dateCreated.startsWith("Today at "));
        const QModelIndex name = view.model().index(1, FolderModel::nameColumn);
        QVERIFY(!view.model().data(name, Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(view.model().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Date Created"));
    }

    void aGeneratedFileIsTheFirstRow() {
        makeFilesInOrder(world_->outputFolder(), {"older.txt"});
        MainWindow window(world_->services());
        window.show();
        window.sidebar().select(FileExtension::txt);
        QCOMPARE(window.folderView().count(), 1);
        window.handleGenerateClick();
        QTRY_COMPARE_WITH_TIMEOUT(window.folderView().count(), 2, testing::kEventCeilingMs);
        QVERIFY2(rowNames(window.folderView()).front().startsWith("document_1MB_"),
                 qPrintable(rowNames(window.folderView()).join(',')));
    }

    void spaceOnTheTableOpensTheSelection() {
        makeFilesInOrder(world_->outputFolder(), {"a.pdf", "b.pdf", "c.pdf"});
        MainWindow window(world_->services());
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window, testing::kEventCeilingMs));
        FolderView& view = window.folderView();
        selectRows(view, {"a.pdf", "c.pdf"});
        view.table().setFocus();
        QTest::keyClick(&view.table(), Qt::Key_Space);
        const std::vector<QUrl> expected = {fileUrl(world_->outputFolder() / "c.pdf"),
                                            fileUrl(world_->outputFolder() / "a.pdf")};
        QCOMPARE(world_->openedUrls(), expected);
    }

    void spaceInATextFieldTypesASpace() {
        makeFilesInOrder(world_->outputFolder(), {"a.pdf"});
        MainWindow window(world_->services());
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window, testing::kEventCeilingMs));
        selectRows(window.folderView(), {"a.pdf"});
        auto* field = window.findChild<QLineEdit*>("fileSizeInput");
        QVERIFY(field != nullptr);
        field->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), static_cast<QWidget*>(field), testing::kEventCeilingMs);
        field->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), "2 5");
        QCOMPARE(field->text(), QString("2 5"));
        QVERIFY(world_->openedUrls().empty());
    }

    void doubleClickOpensTheSelection() {
        makeFilesInOrder(world_->outputFolder(), {"a.pdf"});
        MainWindow window(world_->services());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, testing::kEventCeilingMs));
        FolderView& view = window.folderView();
        selectRows(view, {"a.pdf"});
        const QRect cell = view.table().visualRect(view.model().index(0, 0));
        QTest::mouseClick(view.table().viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(world_->openedUrls().empty());
        QTest::mouseDClick(view.table().viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(world_->openedUrls(), std::vector<QUrl>{fileUrl(world_->outputFolder() / "a.pdf")});
    }

    void deleteMovesFilesToTheTrashAndReloads() {
        makeFilesInOrder(world_->outputFolder(), {"a.pdf", "b.pdf", "c.pdf"});
        // A fresh account: the data folder holds only the output folder.
        MainWindow window(world_->services());
        window.show();
        FolderView& view = window.folderView();
        selectRows(view, {"a.pdf"});
        const int loads = view.reloadCount();
        view.table().setFocus();
        QTest::keyClick(&view.table(), Qt::Key_Delete);
        const fs::path trash = world_->root() / "XDG_DATA_HOME" / "Trash";
        QVERIFY(fs::is_regular_file(trash / "files" / "a.pdf"));
        QVERIFY(fs::is_regular_file(trash / "info" / "a.pdf.trashinfo"));
        QVERIFY(!fs::exists(world_->outputFolder() / "a.pdf"));
        QCOMPARE(view.reloadCount(), loads + 1);
        QCOMPARE(rowNames(view), QStringList({"c.pdf", "b.pdf"}));

        // Every target is tried; each failure has its line.
        selectRows(view, {"b.pdf", "c.pdf"});
        fs::remove(world_->outputFolder() / "c.pdf");
        view.deleteSelectedFiles();
        QVERIFY(fs::is_regular_file(trash / "files" / "b.pdf"));
        QCOMPARE(view.count(), 0);
        QVERIFY2(view.errorMessage().startsWith("Failed to delete file c.pdf: "), qPrintable(view.errorMessage()));
        QCOMPARE(view.errorMessage().count('\n'), 0);
        auto* line = view.findChild<QLabel*>("folderError");
        QVERIFY(line != nullptr && line->isVisibleTo(&view));
        QVERIFY(line->text().startsWith("Error: Failed to delete file c.pdf: "));
    }

    void rowsDragOutAsFileUrls() {
        makeFilesInOrder(world_->outputFolder(), {"a.pdf", "b.pdf"});
        MainWindow window(world_->services());
        FolderView& view = window.folderView();
        QVERIFY(view.table().dragEnabled());
        QVERIFY(view.model().flags(view.model().index(0, 0)).testFlag(Qt::ItemIsDragEnabled));
        const QModelIndexList indexes = {view.model().index(0, 0), view.model().index(0, 1), view.model().index(1, 2)};
        const std::unique_ptr<QMimeData> data(view.model().mimeData(indexes));
        QCOMPARE(data->urls(),
                 QList<QUrl>({fileUrl(world_->outputFolder() / "b.pdf"), fileUrl(world_->outputFolder() / "a.pdf")}));
    }

    void showInFileManagerRevealsOrOpensTheFolder() {
        makeFilesInOrder(world_->outputFolder(), {"a.pdf", "b.pdf"});
        MainWindow window(world_->services());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, testing::kEventCeilingMs));
        FolderView& view = window.folderView();
        const QPoint firstRow = view.table().visualRect(view.model().index(0, 0)).center();
        QVERIFY(view.contextMenuAt(firstRow) == nullptr);  // nothing selected
        selectRows(view, {"a.pdf", "b.pdf"});
        QVERIFY(view.contextMenuAt(QPoint(5, view.table().viewport()->height() - 2)) == nullptr);
        auto menu = view.contextMenuAt(firstRow);
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().front()->text(), QString("Show in File Manager"));
        menu->actions().front()->trigger();
        QCOMPARE(world_->revealedUrls().size(), std::size_t{1});
        QCOMPARE(world_->revealedUrls().front(),
                 QList<QUrl>({fileUrl(world_->outputFolder() / "b.pdf"), fileUrl(world_->outputFolder() / "a.pdf")}));
        QVERIFY(world_->openedUrls().empty());

        world_->fileManagerAnswers = false;
        view.contextMenuAt(firstRow)->actions().front()->trigger();
        QCOMPARE(world_->openedUrls(), std::vector<QUrl>{fileUrl(world_->outputFolder())});
    }

    void theListFollowsTheWritersFolder() {
        makeFilesInOrder(world_->outputFolder(), {"default.pdf"});
        const fs::path custom = world_->root() / "custom";
        makeFilesInOrder(custom, {"custom.pdf"});
        MainWindow window(world_->services());
        FolderView& view = window.folderView();
        QCOMPARE(rowNames(view), QStringList({"default.pdf"}));
        window.settings().setCustomFolderPath(fileUrl(custom).toString());
        window.settings().setUseCustomFolder(true);
        QTRY_COMPARE_WITH_TIMEOUT(rowNames(view), QStringList({"custom.pdf"}), testing::kEventCeilingMs);
        // A custom folder the writers would not use is not listed either,
        // and is not made.
        const fs::path missing = world_->root() / "missing";
        window.settings().setCustomFolderPath(fileUrl(missing).toString());
        QTRY_COMPARE_WITH_TIMEOUT(rowNames(view), QStringList({"default.pdf"}), testing::kEventCeilingMs);
        QVERIFY(!fs::exists(missing));
        QCOMPARE(view.folder(), world_->outputFolder());
    }

    void choosingAFolderSavesItAndGenerateLandsThere() {
        const fs::path chosen = world_->root() / "chosen folder";
        fs::create_directories(chosen);
        world_->outputFolderChoice = QString::fromStdString(chosen.string());
        MainWindow window(world_->services());
        window.show();
        FolderPreferenceView preference(world_->defaults(), world_->services().chooseOutputFolder);
        QCOMPARE(preference.menuButton().text(), defaultEntry());
        const bool triggerBefore = world_->defaults().boolForKey("folderViewReloadTrigger");
        menuEntry(preference.menu(), "otherFolderEntry")->trigger();

        QVERIFY(preference.errorMessage().isEmpty());
        QCOMPARE(preference.menuButton().text(), QString("chosen folder"));
        QCOMPARE(world_->defaults().boolForKey("folderViewReloadTrigger"), !triggerBefore);
        const std::string url = fileUrl(chosen).toEncoded().toStdString();
        QCOMPARE(url, "file://" + (world_->root() / "chosen%20folder").string());
        const std::string suite = readText(world_->defaults().filePath());
        QVERIFY2(
            suite.find("<key>useCustomFolder</key>") != std::string::npos && suite.find("<true/>") != std::string::npos,
            suite.c_str());
        QVERIFY2(suite.find("<string>" + url + "</string>") != std::string::npos, suite.c_str());
        QVERIFY(fs::is_empty(chosen));

        preference.rebuildMenu();
        QAction* custom = menuEntry(preference.menu(), "customFolderEntry");
        QVERIFY(custom != nullptr && custom->isChecked());
        QCOMPARE(custom->text(), QString::fromStdString(chosen.string()));
        QVERIFY(!menuEntry(preference.menu(), "defaultFolderEntry")->isChecked());

        QTRY_COMPARE_WITH_TIMEOUT(window.statusRow().text(),
                                  "Export location: " + QString::fromStdString(chosen.string()),
                                  testing::kEventCeilingMs);
        window.sidebar().select(FileExtension::txt);
        window.handleGenerateClick();
        QTRY_COMPARE_WITH_TIMEOUT(window.folderView().count(), 1, testing::kEventCeilingMs);
        QCOMPARE(window.folderView().folder(), chosen);
        QCOMPARE(std::distance(fs::directory_iterator(chosen), fs::directory_iterator()), 1);
        QVERIFY(world_->outputFiles().empty());
    }

    void theDefaultEntryNamesTheDataFolderInUse() {
        const QByteArray home = qgetenv("HOME");
        const bool hadHome = qEnvironmentVariableIsSet("HOME");
        struct Restore {
            const QByteArray& home;
            bool had;
            ~Restore() { had ? qputenv("HOME", home) : qunsetenv("HOME"); }
        } restore{home, hadHome};
        const QString outside = " " + QString::fromStdString(world_->outputFolder().string()) + " (Default)";
        const struct {
            fs::path home;
            QString entry;
        } cases[] = {{world_->root(), defaultEntry()}, {world_->root() / "elsewhere", outside}};
        for (const auto& each : cases) {
            qputenv("HOME", QByteArray::fromStdString(each.home.string()));
            FolderPreferenceView preference(world_->defaults(), world_->services().chooseOutputFolder);
            QCOMPARE(preference.menuButton().text(), each.entry);
            preference.rebuildMenu();
            QCOMPARE(menuEntry(preference.menu(), "defaultFolderEntry")->text(), each.entry);
        }
    }

    void theStatusRowFollowsAChosenFolderDeletedMeanwhile() {
        const fs::path chosen = world_->root() / "chosen";
        fs::create_directories(chosen);
        MainWindow window(world_->services());
        window.show();
        window.settings().setCustomFolderPath(fileUrl(chosen).toString());
        window.settings().setUseCustomFolder(true);
        QTRY_COMPARE_WITH_TIMEOUT(window.statusRow().text(),
                                  "Export location: " + QString::fromStdString(chosen.string()),
                                  testing::kEventCeilingMs);

        fs::remove_all(chosen);
        window.sidebar().select(FileExtension::txt);
        window.handleGenerateClick();
        QTRY_COMPARE_WITH_TIMEOUT(world_->outputFiles().size(), std::size_t{1}, testing::kEventCeilingMs);
        QTRY_COMPARE_WITH_TIMEOUT(window.statusRow().text(),
                                  "Export location: " + QString::fromStdString(world_->outputFolder().string()),
                                  testing::kEventCeilingMs);
    }

    void anUnusableFolderChangesNothing() {
        const fs::path first = world_->root() / "first";
        fs::create_directories(first);
        // The probe file's name is taken by a folder that cannot be
        // replaced, so the probe cannot be written, whoever runs the test.
        const fs::path blocked = world_->root() / "blocked";
        fs::create_directories(blocked / ".stubforge_test_permissions" / "inside");
        world_->outputFolderChoice = QString::fromStdString(first.string());
        FolderPreferenceView preference(world_->defaults(), world_->services().chooseOutputFolder);
        preference.chooseFolder();
        const auto savedPath = world_->defaults().stringForKey("customFolderPath");
        QVERIFY(savedPath.has_value());

        for (const fs::path& unusable : {blocked, world_->root() / "missing"}) {
            world_->outputFolderChoice = QString::fromStdString(unusable.string());
            preference.chooseFolder();
            QVERIFY2(preference.errorMessage().startsWith("Cannot use this folder: "),
                     qPrintable(preference.errorMessage()));
            QCOMPARE(world_->defaults().stringForKey("customFolderPath"), savedPath);
            QVERIFY(world_->defaults().boolForKey("useCustomFolder"));
            QCOMPARE(preference.menuButton().text(), QString("first"));
        }
        // A cancelled dialog changes nothing either, not even the message.
        const QString message = preference.errorMessage();
        world_->outputFolderChoice.clear();
        menuEntry(preference.menu(), "otherFolderEntry")->trigger();
        QCOMPARE(world_->defaults().stringForKey("customFolderPath"), savedPath);
        QCOMPARE(preference.errorMessage(), message);
    }

    void resetReturnsToTheDefaultFolderAndClearsTheError() {
        world_->defaults().set("useCustomFolder", true);
        world_->defaults().set("customFolderPath", fileUrl(world_->root() / "gone").toString().toStdString());
        MainWindow window(world_->services());
        FolderPreferenceView preference(world_->defaults(), world_->services().chooseOutputFolder);
        QCOMPARE(preference.errorMessage(), QString("Folder access has expired. Please select the folder again."));
        QCOMPARE(preference.menuButton().text(), QString("gone"));

        const bool triggerBefore = world_->defaults().boolForKey("folderViewReloadTrigger");
        menuEntry(preference.menu(), "defaultFolderEntry")->trigger();
        QVERIFY(!world_->defaults().boolForKey("useCustomFolder"));
        QCOMPARE(world_->defaults().stringForKey("customFolderPath"), std::optional<std::string>(""));
        QCOMPARE(world_->defaults().boolForKey("folderViewReloadTrigger"), !triggerBefore);
        QVERIFY(preference.errorMessage().isEmpty());
        QCOMPARE(preference.menuButton().text(), defaultEntry());
        preference.rebuildMenu();
        QVERIFY(menuEntry(preference.menu(), "defaultFolderEntry")->isChecked());
        QVERIFY(menuEntry(preference.menu(), "customFolderEntry") == nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(window.statusRow().text(),
                                  QString("Tips: Spacebar to View File and Delete to Delete File"),
                                  testing::kEventCeilingMs);
        QCOMPARE(window.folderView().folder(), world_->outputFolder());
    }

    void openingPreferencesChecksTheSavedFolder() {
        const fs::path good = world_->root() / "good";
        fs::create_directories(good);
        const fs::path blocked = world_->root() / "blocked";
        fs::create_directories(blocked / ".stubforge_test_permissions" / "inside");
        world_->defaults().set("useCustomFolder", true);
        struct Case {
            std::string setting;
            QString messageStart;
        };
        const Case cases[] = {
            {fileUrl(good).toString().toStdString(), ""},
            {fileUrl(blocked).toString().toStdString(), "Cannot write to the saved folder: "},
            {fileUrl(world_->root() / "gone").toString().toStdString(),
             "Folder access has expired. Please select the folder again."},
            {"not a url", ""},
        };
        for (const Case& item : cases) {
            world_->defaults().set("customFolderPath", item.setting);
            FolderPreferenceView preference(world_->defaults(), {});
            QVERIFY2(item.messageStart.isEmpty() ? preference.errorMessage().isEmpty()
                                                 : preference.errorMessage().startsWith(item.messageStart),
                     qPrintable(preference.errorMessage()));
            QCOMPARE(world_->defaults().stringForKey("customFolderPath"), std::optional(item.setting));
        }
        QVERIFY(fs::is_empty(good));
        // With no custom folder there is nothing to check.
        world_->defaults().set("customFolderPath", "");
        FolderPreferenceView preference(world_->defaults(), {});
        QVERIFY(preference.errorMessage().isEmpty());
    }

private:
    std::unique_ptr<testing::UiWorld> world_;
};

}  // namespace stubforge::ui

QTEST_MAIN(stubforge::ui::FolderTest)
#include "FolderTest.moc"
