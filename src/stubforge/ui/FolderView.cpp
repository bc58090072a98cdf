#include "stubforge/ui/FolderView.h"

#include "stubforge/core/Utils.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include "platform/Paths.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include <system_error>

namespace stubforge::ui {

namespace fs = std::filesystem;

namespace {

QUrl fileUrl(const fs::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

}  // namespace

void FileTable::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        emit openRequested();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        emit deleteRequested();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

FolderView::FolderView(MainWindowState& state, SettingsAdapter& settings, FolderServices services, QWidget* parent)
    : QWidget(parent), state_(&state), settings_(&settings), services_(std::move(services)) {
    setObjectName("folderView");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    model_ = new FolderModel(this);
    table_ = new FileTable(this);
    table_->setObjectName("fileTable");
    table_->setModel(model_);
    table_->setFrameShape(QFrame::NoFrame);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->setIconSize(QSize(16, 16));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setDragEnabled(true);
    table_->setDragDropMode(QAbstractItemView::DragOnly);
    table_->setDefaultDropAction(Qt::CopyAction);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(24);
    QHeaderView* header = table_->horizontalHeader();
    header->setHighlightSections(false);
    header->setMinimumSectionSize(70);
    header->setSectionResizeMode(FolderModel::nameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(FolderModel::sizeColumn, QHeaderView::Interactive);
    header->setSectionResizeMode(FolderModel::dateCreatedColumn, QHeaderView::Interactive);
    header->resizeSection(FolderModel::sizeColumn, 90);
    header->resizeSection(FolderModel::dateCreatedColumn, 150);
    layout->addWidget(table_, 1);

    errorLine_ = new QLabel(this);
    errorLine_->setObjectName("folderError");
    errorLine_->setFont(footnoteFont(errorLine_->font()));
    errorLine_->setStyleSheet("color: #d70015;");
    errorLine_->setWordWrap(true);
    errorLine_->setContentsMargins(8, 0, 8, 0);
    errorLine_->hide();
    layout->addWidget(errorLine_);

    connect(table_, &FileTable::openRequested, this, &FolderView::openSelectedFiles);
    connect(table_, &FileTable::deleteRequested, this, &FolderView::deleteSelectedFiles);
    connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            openSelectedFiles();
        }
    });
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (const auto menu = contextMenuAt(position)) {
            menu->exec(table_->viewport()->mapToGlobal(position));
        }
    });

    connect(&state, &MainWindowState::reloadFolderViewChanged, this, [this](bool reload) {
        if (reload) {
            this->reload();
        }
    });
    connect(&state, &MainWindowState::layoutChanged, this, [this] {
        if (state_->form().selectedFileExtension != loadedKind_) {
            reload();
        }
    });
    connect(&settings, &SettingsAdapter::folderViewReloadTriggerChanged, this, &FolderView::reload);
    connect(&settings, &SettingsAdapter::useCustomFolderChanged, this, &FolderView::reload);
    connect(&settings, &SettingsAdapter::customFolderPathChanged, this, &FolderView::reload);
    reload();
}

FolderView::~FolderView() = default;

void FolderView::loadFiles(FileExtension kind) {
    ++reloadCount_;
    loadedKind_ = kind;
    const fs::path folder = Utils::outputFolderURL(settings_->defaults(), *services_.log).folder;
    auto listing = listFolder(folder, kind, QDateTime::currentDateTime());
    if (auto* problem = std::get_if<std::string>(&listing)) {
        // The rows stay as they were.
        showErrors({qt(texts::kErrorLoadingFiles) + QString::fromStdString(*problem)});
        return;
    }
    folder_ = folder;
    model_->setItems(std::move(std::get<std::vector<FileItem>>(listing)));
    showErrors({});
}

std::vector<FileItem> FolderView::selectedItems() const {
    std::vector<FileItem> items;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        items.push_back(model_->items()[static_cast<std::size_t>(index.row())]);
    }
    // In list order, whatever order the rows were picked in.
    std::vector<FileItem> ordered;
    for (const FileItem& item : model_->items()) {
        for (const FileItem& selected : items) {
            if (selected.url == item.url) {
                ordered.push_back(item);
                break;
            }
        }
    }
    return ordered;
}

void FolderView::openSelectedFiles() {
    for (const FileItem& item : selectedItems()) {
        services_.openUrl(fileUrl(item.url));
    }
}

void FolderView::revealInFinder(const std::vector<FileItem>& items) {
    if (items.empty()) {
        return;
    }
    QList<QUrl> urls;
    for (const FileItem& item : items) {
        urls << fileUrl(item.url);
    }
    if (!services_.revealFiles(urls)) {
        // No file manager answers the call: the folder itself still opens.
        services_.openUrl(fileUrl(folder_));
    }
}

std::unique_ptr<QMenu> FolderView::contextMenuAt(const QPoint& position) {
    if (!table_->indexAt(position).isValid() || !table_->selectionModel()->hasSelection()) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(this);
    QAction* reveal = menu->addAction(qt(texts::kShowInFileManager));
    reveal->setObjectName("revealInFileManager");
    const std::vector<FileItem> items = selectedItems();
    connect(reveal, &QAction::triggered, this, [this, items] { revealInFinder(items); });
    return menu;
}

void FolderView::deleteSelectedFiles() {
    const std::vector<FileItem> targets = selectedItems();
    // The home trash lives in the data folder, which a fresh account may
    // not have yet; the trash itself is made on first use.
    std::error_code error;
    fs::create_directories(platform::paths::dataHome(), error);
    QStringList failures;
    for (const FileItem& target : targets) {
        QString reason;
        std::error_code statusError;
        if (!fs::is_regular_file(fs::symlink_status(target.url, statusError))) {
            reason = statusError ? QString::fromStdString(statusError.message()) : qt(texts::kNotARegularFile);
        } else {
            QFile file(QString::fromStdString(target.url.string()));
            if (!file.moveToTrash()) {
                reason = file.errorString();
            }
        }
        if (!reason.isEmpty()) {
            failures << qt(texts::kFailedToDeleteFile) + target.name + ": " + reason;
        }
    }
    reload();
    if (!failures.isEmpty()) {
        showErrors(errors_ + failures);
    }
}

void FolderView::showErrors(QStringList messages) {
    errors_ = std::move(messages);
    QStringList lines;
    for (const QString& message : errors_) {
        lines << qt(texts::kErrorPrefix) + message;
    }
    errorLine_->setText(lines.join('\n'));
    errorLine_->setVisible(!errors_.isEmpty());
}

QString FolderView::errorMessage() const { return errors_.join('\n'); }

bool showItemsInFileManager(const QList<QUrl>& urls) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QStringList uris;
    for (const QUrl& url : urls) {
        uris << QString::fromUtf8(url.toEncoded());
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << uris << QString();
    // A file manager that is slow to start still answers well within this.
    constexpr int kTimeoutMilliseconds = 5000;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace stubforge::ui
