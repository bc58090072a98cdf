#pragma once

#include "stubforge/ui/FolderModel.h"
#include "stubforge/ui/MainWindowState.h"
#include "stubforge/ui/SettingsAdapter.h"

#include "platform/Log.h"

#include <QList>
#include <QTableView>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>

class QLabel;
class QMenu;

namespace stubforge::ui {

// What the browser reaches outside itself.
struct FolderServices {
    platform::LogSink* log;
    // Hands a file or folder to the desktop.
    std::function<bool(const QUrl&)> openUrl;
    // Asks the file manager to show these files selected; false when it
    // cannot.
    std::function<bool(const QList<QUrl>&)> revealFiles;
};

// The table of the browser. Space and Delete are its own keys, so they act
// only while it has the focus and never take a key from a text field.
class FileTable final : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

signals:
    void openRequested();
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The output folder's files of the kind chosen in the sidebar, newest
// first, with the red error line under them. The folder is the writers'
// own (Utils::outputFolderURL), so the list shows where the next file goes.
class FolderView final : public QWidget {
    Q_OBJECT
public:
    FolderView(MainWindowState& state, SettingsAdapter& settings, FolderServices services, QWidget* parent = nullptr);
    ~FolderView() override;

    void loadFiles(FileExtension kind);
    void reload() { loadFiles(state_->form().selectedFileExtension); }
    void openSelectedFiles();
    void revealInFinder(const std::vector<FileItem>& items);
    void deleteSelectedFiles();

    // The context menu at a point of the table: nothing where it would have
    // no entry (no row selected).
    std::unique_ptr<QMenu> contextMenuAt(const QPoint& position);

    FileTable& table() const { return *table_; }
    FolderModel& model() const { return *model_; }
    int count() const { return model_->rowCount(); }
    // The folder of the last listing.
    const std::filesystem::path& folder() const { return folder_; }
    // Empty when the line shows nothing.
    QString errorMessage() const;
    int reloadCount() const { return reloadCount_; }

private:
    std::vector<FileItem> selectedItems() const;
    void showErrors(QStringList messages);

    MainWindowState* state_;
    SettingsAdapter* settings_;
    FolderServices services_;
    FolderModel* model_;
    FileTable* table_;
    QLabel* errorLine_;
    QStringList errors_;
    std::filesystem::path folder_;
    FileExtension loadedKind_ = FileExtension::showAll;
    int reloadCount_ = 0;
};

// Shows files selected in the file manager through the freedesktop
// FileManager1 interface on the session bus.
bool showItemsInFileManager(const QList<QUrl>& urls);

}  // namespace stubforge::ui
