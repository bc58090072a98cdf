#include "stubforge/ui/FolderModel.h"

#include "stubforge/ui/Icons.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QColor>
#include <QLocale>
#include <QMimeData>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <system_error>

namespace stubforge::ui {

namespace fs = std::filesystem;

namespace {

// Shown for a file of no known kind.

QDateTime fromTimestamp(const statx_timestamp& stamp) {
    return QDateTime::fromMSecsSinceEpoch(stamp.tv_sec * 1000 + stamp.tv_nsec / 1000000);
}

std::optional<FileExtension> kindOf(const fs::path& url) {
    std::string extension = url.extension().string();
    if (extension.empty()) {
        return std::nullopt;
    }
    extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto kind = fromRawValue<FileExtension>(extension);
    if (!kind || *kind == FileExtension::showAll) {
        return std::nullopt;
    }
    return kind;
}

struct FileAttributes {
    bool regular = false;
    std::uintmax_t size = 0;
    std::optional<QDateTime> modified;
    std::optional<QDateTime> born;
};

// One statx call per file: the listing, the row and the sort all use it.
// Symbolic links are not followed, so a link never lists as a file.
FileAttributes readAttributes(const fs::path& url) {
    FileAttributes attributes;
    struct statx status {};
    if (::statx(AT_FDCWD, url.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &status) != 0) {
        return attributes;
    }
    attributes.regular = S_ISREG(status.stx_mode);
    if ((status.stx_mask & STATX_SIZE) != 0) {
        attributes.size = status.stx_size;
    }
    if ((status.stx_mask & STATX_MTIME) != 0) {
        attributes.modified = fromTimestamp(status.stx_mtime);
    }
    if ((status.stx_mask & STATX_BTIME) != 0) {
        attributes.born = fromTimestamp(status.stx_btime);
    }
    return attributes;
}

FileItem makeItem(const fs::path& url, const FileAttributes& attributes, const QDateTime& now) {
    FileItem item;
    item.url = url;
    item.name = QString::fromStdString(url.filename().string());
    item.size = byteCountText(attributes.size);
    const QDateTime modified = attributes.modified.value_or(now);
    item.dateModified = QLocale().toString(modified, QLocale::ShortFormat);
    item.created = attributes.born.value_or(modified);
    item.dateCreated = relativeDateText(item.created, now);
    item.type = kindOf(url);
    return item;
}

QString decimal(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    if (text.contains('.')) {
        while (text.endsWith('0')) {
            text.chop(1);
        }
        if (text.endsWith('.')) {
            text.chop(1);
        }
    }
    return text;
}

}  // namespace

FileItem makeFileItem(const fs::path& url, const QDateTime& now) { return makeItem(url, readAttributes(url), now); }

QString relativeDateText(const QDateTime& date, const QDateTime& now) {
    const QDateTime local = date.toLocalTime();
    const QDate today = now.toLocalTime().date();
    const QString time = local.toString("HH:mm");
    if (local.date() == today) {
        return qt(texts::kTodayAt) + time;
    }
    if (local.date() == today.addDays(-1)) {
        return qt(texts::kYesterdayAt) + time;
    }
    const QLocale locale;
    return locale.toString(local.date(), "d MMM yyyy") + ", " + locale.toString(local.time(), QLocale::ShortFormat);
}

QString byteCountText(std::uintmax_t bytes) {
    if (bytes == 0) {
        return "Zero KB";
    }
    if (bytes == 1) {
        return "1 byte";
    }
    if (bytes < 1000) {
        return QString::number(bytes) + " bytes";
    }
    struct Unit {
        const char* name;
        double size;
        int decimals;
    };
    static constexpr Unit units[] = {{"KB", 1e3, 0}, {"MB", 1e6, 1}, {"GB", 1e9, 2}, {"TB", 1e12, 2}};
    const double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (unit + 1 < std::size(units) && value >= units[unit + 1].size) {
        ++unit;
    }
    // 999,999 bytes read "1 MB", not "1000 KB".
    const double scale = std::pow(10, units[unit].decimals);
    if (unit + 1 < std::size(units) && std::round(value / units[unit].size * scale) / scale >= 1000) {
        ++unit;
    }
    const Unit& chosen = units[unit];
    return decimal(value / chosen.size, chosen.decimals) + " " + chosen.name;
}

std::variant<std::vector<FileItem>, std::string> listFolder(const fs::path& folder, FileExtension kind,
                                                            const QDateTime& now) {
    const std::string wantedExtension = "." + std::string(rawValue(kind));
    std::vector<FileItem> items;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const fs::path& url = entry->path();
        const std::string name = url.filename().string();
        if (name.starts_with('.')) {
            continue;
        }
        if (kind != FileExtension::showAll && url.extension().string() != wantedExtension) {
            continue;
        }
        const FileAttributes attributes = readAttributes(url);
        if (!attributes.regular) {
            continue;
        }
        items.push_back(makeItem(url, attributes, now));
    }
    if (error) {
        return error.message();
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const FileItem& a, const FileItem& b) { return a.created > b.created; });
    return items;
}

void FolderModel::setItems(std::vector<FileItem> items) {
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const FileItem& item = items_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case nameColumn:
            return item.name;
        case sizeColumn:
            return item.size;
        case dateCreatedColumn:
            return item.dateCreated;
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (index.column() == nameColumn) {
            return symbolIcon(item.type ? iconForFileKind(*item.type) : Icon::doc);
        }
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() != nameColumn) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        return {};
    case Qt::ForegroundRole:
        // The secondary text colour; it reads on the light and dark palettes.
        if (index.column() != nameColumn) {
            return QColor(0x8e, 0x8e, 0x93);
        }
        return {};
    case Qt::ToolTipRole:
        return QString::fromStdString(item.url.string());
    default:
        return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (section) {
        case nameColumn:
            return qt(texts::kNameColumn);
        case sizeColumn:
            return qt(texts::kSizeColumn);
        case dateCreatedColumn:
            return qt(texts::kDateCreatedColumn);
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole) {
        // Each title lines up with its column's cells.
        const Qt::Alignment across = section == nameColumn ? Qt::AlignLeft : Qt::AlignRight;
        return QVariant::fromValue(across | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList FolderModel::mimeTypes() const { return {"text/uri-list"}; }

QMimeData* FolderModel::mimeData(const QModelIndexList& indexes) const {
    std::set<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && index.row() < rowCount()) {
            rows.insert(index.row());
        }
    }
    QList<QUrl> urls;
    for (const int row : rows) {
        urls << QUrl::fromLocalFile(QString::fromStdString(items_[static_cast<std::size_t>(row)].url.string()));
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

// Copy only: a file manager must not take the file out of the output folder
// behind the list's back.
Qt::DropActions FolderModel::supportedDragActions() const { return Qt::CopyAction; }

}  // namespace stubforge::ui
