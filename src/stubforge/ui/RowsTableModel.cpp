#include "stubforge/ui/RowsTableModel.h"

#include "stubforge/ui/Texts.h"

namespace stubforge::ui {

namespace {

QString qt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

RowsTableModel::RowsTableModel(Access access, QString nameTitle, QObject* parent)
    : QAbstractTableModel(parent), access_(std::move(access)), nameTitle_(std::move(nameTitle)) {
    RowsObserver observer;
    observer.willChange = [this](const RowsChange& change) { willChange(change); };
    observer.didChange = [this](const RowsChange& change) { didChange(change); };
    observer_ = access_.observe(std::move(observer));
}

RowsTableModel::~RowsTableModel() { access_.stopObserving(observer_); }

void RowsTableModel::willChange(const RowsChange& change) {
    const int first = static_cast<int>(change.first);
    const int last = first + static_cast<int>(change.count) - 1;
    switch (change.kind) {
    case RowsChange::Kind::inserted:
        beginInsertRows({}, first, last);
        break;
    case RowsChange::Kind::removed:
        beginRemoveRows({}, first, last);
        break;
    case RowsChange::Kind::replaced:
        beginResetModel();
        break;
    case RowsChange::Kind::edited:
        break;
    }
}

void RowsTableModel::didChange(const RowsChange& change) {
    switch (change.kind) {
    case RowsChange::Kind::inserted:
        endInsertRows();
        break;
    case RowsChange::Kind::removed:
        endRemoveRows();
        break;
    case RowsChange::Kind::replaced:
        endResetModel();
        return;
    case RowsChange::Kind::edited: {
        const int first = static_cast<int>(change.first);
        emit dataChanged(index(first, nameColumn), index(first + static_cast<int>(change.count) - 1, typeColumn));
        return;
    }
    }
    // The numbers below a change move, and the remove buttons follow the count.
    if (rowCount() > 0) {
        emit dataChanged(index(0, numberColumn), index(rowCount() - 1, numberColumn));
        emit dataChanged(index(0, removeColumn), index(rowCount() - 1, removeColumn));
    }
}

int RowsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(access_.size());
}

int RowsTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant RowsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    switch (index.column()) {
    case numberColumn:
        if (role == Qt::DisplayRole) {
            return QString::number(index.row() + 1);
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        break;
    case nameColumn:
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            return QString::fromStdString(access_.name(row));
        }
        if (role == Qt::ToolTipRole) {
            return nameTitle_;
        }
        break;
    case typeColumn:
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            return qt(rawValue(access_.dataType(row)));
        }
        if (role == kTypeIndexRole) {
            return static_cast<int>(access_.dataType(row));
        }
        break;
    default:
        break;
    }
    return {};
}

bool RowsTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rowCount()) {
        return false;
    }
    const auto row = static_cast<std::size_t>(index.row());
    if (index.column() == nameColumn && role == Qt::EditRole) {
        const std::string name = value.toString().toStdString();
        if (name != access_.name(row)) {
            access_.setName(row, name);
        }
        return true;
    }
    if (index.column() == typeColumn && role == kTypeIndexRole) {
        const int position = value.toInt();
        const auto types = allCases<CSVColumnDataType>();
        if (position < 0 || position >= static_cast<int>(types.size())) {
            return false;
        }
        if (types[static_cast<std::size_t>(position)] != access_.dataType(row)) {
            access_.setDataType(row, types[static_cast<std::size_t>(position)]);
        }
        return true;
    }
    return false;
}

QVariant RowsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        // Each title lines up with its column's cells.
        const Qt::Alignment across = section == numberColumn ? Qt::AlignRight : Qt::AlignLeft;
        return QVariant::fromValue(across | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case numberColumn:
        return qt(texts::kNumberColumn);
    case nameColumn:
        return nameTitle_;
    case typeColumn:
        return qt(texts::kFakerValueType);
    default:
        return QString();
    }
}

Qt::ItemFlags RowsTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    switch (index.column()) {
    case nameColumn:
    case typeColumn:
        return Qt::ItemIsEnabled | Qt::ItemIsEditable;
    case removeColumn:
        // The last row stays.
        return rowCount() >= 2 ? (Qt::ItemIsEnabled | Qt::ItemIsEditable) : Qt::ItemIsEditable;
    default:
        return Qt::ItemIsEnabled;
    }
}

UUID RowsTableModel::idAt(int row) const { return access_.id(static_cast<std::size_t>(row)); }

}  // namespace stubforge::ui
