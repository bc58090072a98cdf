#include "stubforge/ui/RowsTableView.h"

#include <QHeaderView>
#include <QLineEdit>

namespace stubforge::ui {

RowsTableView::RowsTableView(RowsTableModel& model, QWidget* parent) : QTableView(parent), model_(&model) {
    setModel(&model);
    setItemDelegate(&delegate_);
    setFixedSize(470, 250);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(26);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setColumnWidth(RowsTableModel::numberColumn, 30);
    setColumnWidth(RowsTableModel::nameColumn, 100);
    setColumnWidth(RowsTableModel::typeColumn, 230);
    setColumnWidth(RowsTableModel::removeColumn, 30);
    setShowGrid(false);
    setAlternatingRowColors(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    connect(&delegate_, &RowCellDelegate::removeRequested, this, [this](int row) {
        if (row >= 0 && row < model_->rowCount()) {
            emit removeRequested(model_->idAt(row));
        }
    });
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { openEditors(first, last); });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] { openEditors(0, model_->rowCount() - 1); });
    openEditors(0, model.rowCount() - 1);
}

void RowsTableView::openEditors(int first, int last) {
    for (int row = first; row <= last; ++row) {
        for (const int column :
             {RowsTableModel::nameColumn, RowsTableModel::typeColumn, RowsTableModel::removeColumn}) {
            const QModelIndex index = model_->index(row, column);
            openPersistentEditor(index);
            // The view selects a new editor's text; a table of names all
            // highlighted reads as a selection the user never made.
            if (auto* field = qobject_cast<QLineEdit*>(indexWidget(index))) {
                field->deselect();
            }
        }
    }
}

}  // namespace stubforge::ui
