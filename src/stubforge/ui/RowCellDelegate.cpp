#include "stubforge/ui/RowCellDelegate.h"

#include "stubforge/core/ColumnDataType.h"
#include "stubforge/ui/Icons.h"
#include "stubforge/ui/RowsTableModel.h"
#include "stubforge/ui/Texts.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QToolButton>

namespace stubforge::ui {

RowCellDelegate::RowCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QWidget* RowCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    auto* self = const_cast<RowCellDelegate*>(this);
    switch (index.column()) {
    case RowsTableModel::nameColumn: {
        auto* field = new QLineEdit(parent);
        field->setPlaceholderText(index.model()->headerData(index.column(), Qt::Horizontal).toString());
        field->setFrame(false);
        connect(field, &QLineEdit::textEdited, self, [self, field] { emit self->commitData(field); });
        return field;
    }
    case RowsTableModel::typeColumn: {
        auto* picker = new QComboBox(parent);
        for (const auto type : allCases<CSVColumnDataType>()) {
            const std::string_view raw = rawValue(type);
            picker->addItem(QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())));
        }
        picker->setMaxVisibleItems(20);
        connect(picker, &QComboBox::activated, self, [self, picker] { emit self->commitData(picker); });
        return picker;
    }
    case RowsTableModel::removeColumn: {
        auto* button = new QToolButton(parent);
        button->setIcon(symbolIcon(Icon::minusCircleFill));
        button->setAutoRaise(true);
        button->setIconSize(QSize(14, 14));
        const QPersistentModelIndex row(index);
        connect(button, &QToolButton::clicked, self, [self, row] {
            if (row.isValid()) {
                emit self->removeRequested(row.row());
            }
        });
        return button;
    }
    default:
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
}

void RowCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    switch (index.column()) {
    case RowsTableModel::nameColumn: {
        auto* field = static_cast<QLineEdit*>(editor);
        const QString name = index.data(Qt::EditRole).toString();
        // Our own edit comes back through the model; leave the cursor be.
        if (field->text() != name) {
            field->setText(name);
        }
        break;
    }
    case RowsTableModel::typeColumn: {
        auto* picker = static_cast<QComboBox*>(editor);
        const int position = index.data(RowsTableModel::kTypeIndexRole).toInt();
        if (picker->currentIndex() != position) {
            picker->setCurrentIndex(position);
        }
        break;
    }
    case RowsTableModel::removeColumn:
        editor->setEnabled(index.flags().testFlag(Qt::ItemIsEnabled));
        break;
    default:
        QStyledItemDelegate::setEditorData(editor, index);
    }
}

void RowCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    switch (index.column()) {
    case RowsTableModel::nameColumn:
        model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
        break;
    case RowsTableModel::typeColumn:
        model->setData(index, static_cast<QComboBox*>(editor)->currentIndex(), RowsTableModel::kTypeIndexRole);
        break;
    case RowsTableModel::removeColumn:
        break;
    default:
        QStyledItemDelegate::setModelData(editor, model, index);
    }
}

void RowCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex&) const {
    editor->setGeometry(option.rect);
}

}  // namespace stubforge::ui
