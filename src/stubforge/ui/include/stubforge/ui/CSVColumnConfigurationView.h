#pragma once

#include "stubforge/ui/MainWindowState.h"
#include "stubforge/ui/RowsTableModel.h"

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace stubforge::ui {

class RowsTableView;

// Asks the user for a CSV template; an empty path when they cancel.
using TemplateChooser = std::function<QString(QWidget* parent)>;

// The CSV column editor: the table, the template import with its help
// tooltip, and "Add column".
class CSVColumnConfigurationView final : public QWidget {
    Q_OBJECT
public:
    CSVColumnConfigurationView(MainWindowState& state, TemplateChooser chooseTemplate, QWidget* parent = nullptr);

    // Imports the header of the CSV file at `path` as the columns. On
    // failure the rows stay and the reason shows under the buttons.
    void importTemplate(const QString& path);

private:
    void updateButtons();

    MainWindowState* state_;
    TemplateChooser chooseTemplate_;
    RowsTableModel model_;
    RowsTableView* table_;
    QPushButton* addButton_;
    QLabel* failureLabel_;
};

}  // namespace stubforge::ui
