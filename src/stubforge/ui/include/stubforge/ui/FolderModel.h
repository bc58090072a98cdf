#pragma once

#include "stubforge/core/Options.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace stubforge::ui {

// One file of the output folder, its attributes read once.
struct FileItem {
    std::filesystem::path url;
    QString name;
    QString size;
    QString dateModified;
    QString dateCreated;
    // Nothing for a file of no known kind.
    std::optional<FileExtension> type;
    // The sort key: the birth time where the file system keeps one, else
    // the modification time.
    QDateTime created;
};

// Builds the row of a file; unreadable attributes give 0 bytes and `now`.
FileItem makeFileItem(const std::filesystem::path& url, const QDateTime& now);

// "Today at 14:05", "Yesterday at 09:30", else the locale's date and time.
QString relativeDateText(const QDateTime& date, const QDateTime& now);

// A file size in decimal units: "Zero KB", "532 bytes", "12 KB", "2.5 MB".
QString byteCountText(std::uintmax_t bytes);

// The folder's visible regular files of `kind` (all of them for showAll),
// newest first; a file kind matches on the exact extension. The error text
// when the folder cannot be listed.
std::variant<std::vector<FileItem>, std::string> listFolder(const std::filesystem::path& folder, FileExtension kind,
                                                            const QDateTime& now);

// The browser's rows: name with the kind's icon, size, date created. Rows
// drag out as file URLs.
class FolderModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { nameColumn, sizeColumn, dateCreatedColumn, kColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    const std::vector<FileItem>& items() const { return items_; }
    void setItems(std::vector<FileItem> items);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    std::vector<FileItem> items_;
};

}  // namespace stubforge::ui
