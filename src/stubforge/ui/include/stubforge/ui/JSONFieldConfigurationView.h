#pragma once

#include "stubforge/ui/MainWindowState.h"
#include "stubforge/ui/RowsTableModel.h"

#include <QWidget>

class QPushButton;

namespace stubforge::ui {

class RowsTableView;

// The JSON field editor: the table and "Add field".
class JSONFieldConfigurationView final : public QWidget {
    Q_OBJECT
public:
    explicit JSONFieldConfigurationView(MainWindowState& state, QWidget* parent = nullptr);

private:
    void updateButtons();

    MainWindowState* state_;
    RowsTableModel model_;
    RowsTableView* table_;
    QPushButton* addButton_;
};

}  // namespace stubforge::ui
