#pragma once

#include "stubforge/ui/RowCellDelegate.h"
#include "stubforge/ui/RowsTableModel.h"

#include <QTableView>

namespace stubforge::ui {

// The editor table: 470 × 250, columns 30, 100, 230 and 30 wide, every
// row's editors open.
class RowsTableView final : public QTableView {
    Q_OBJECT
public:
    RowsTableView(RowsTableModel& model, QWidget* parent = nullptr);

signals:
    void removeRequested(const UUID& id);

private:
    void openEditors(int first, int last);

    RowsTableModel* model_;
    RowCellDelegate delegate_;
};

}  // namespace stubforge::ui
