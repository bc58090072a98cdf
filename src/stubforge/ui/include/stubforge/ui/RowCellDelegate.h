#pragma once

#include <QStyledItemDelegate>

#include <functional>

namespace stubforge::ui {

// The editors of one table row, kept open: a text field for the name, a
// picker over all 91 value types, and a remove button. Each edit reaches
// the model as it is made.
class RowCellDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit RowCellDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

signals:
    // The remove button of the row at `row` was pressed.
    void removeRequested(int row);
};

}  // namespace stubforge::ui
